#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "coloring/color_state.h"
#include "settings/movie_spec.h"
#include "support/thread_pool.h"
#include "ui/scrub_worker.h"

class QLabel;
class QToolButton;

namespace zr {

class SoundtrackPlayer;

// The bar of the timeline: the whole movie from its first frame to its last, a tick where each
// key frame begins, a mark at each time stamp of a "Time" or "Time NS" speed list, and the frame
// shown. Pressing and dragging asks for the frame under the pointer; the arrow keys step one
// frame, Page Up and Page Down one key frame, Home and End to the first and last frame; Space
// plays and pauses.
class TimelineBar : public QWidget {
    Q_OBJECT
  public:
    explicit TimelineBar(QWidget* parent = nullptr);

    void setMovie(long long frameCount, std::vector<long long> keyFrameStarts,
                  std::vector<long long> stampFrames);
    void setCursor(long long frame);
    long long cursor() const { return cursor_; }
    long long frameCount() const { return frameCount_; }
    const std::vector<long long>& keyFrameStarts() const { return keyFrameStarts_; }
    const std::vector<long long>& stampFrames() const { return stampFrames_; }
    // The frame under x (widget coordinates), within the movie.
    long long frameAt(int x) const;
    // The x of a frame's place on the bar.
    int xOf(long long frame) const;

    QSize sizeHint() const override;

  signals:
    void frameRequested(long long frame);
    // Space: play, or pause playing.
    void playToggled();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void request(long long frame);
    QRect groove() const;

    long long frameCount_ = 0;
    std::vector<long long> keyFrameStarts_;
    std::vector<long long> stampFrames_;
    long long cursor_ = 0;
};

// Where a soundtrack is played with the movie: `path` (empty: none), beginning `offsetSeconds`
// into the movie (negative: the movie begins that far into the sound).
struct PlaybackSound {
    std::string path;
    double offsetSeconds = 0.0;
    bool operator==(const PlaybackSound&) const = default;
};

// The timeline under the preview: Play/Pause, the bar, the frame and time shown and what
// playback had to give up. Frames are made by a ScrubWorker; what it makes is shown through
// `show`. While a render runs and "Render" is checked, the preview shows the render's frames
// and the bar follows them; using the timeline unchecks it.
class Scrubber : public QWidget {
    Q_OBJECT
  public:
    using Show = std::function<void(const FrameImage&)>;
    Scrubber(QWidget* parent, Show show, const ThreadShare& threads = {});
    ~Scrubber() override;

    // The movie the controls describe now, starting from the colours a run started now would
    // take. The same movie from the same colours changes nothing; anything else shows the
    // current frame made anew.
    void setMovie(const MovieSpec& spec, const ColorState& colors);
    void setSound(const PlaybackSound& sound);

    void showFrame(long long frame);
    void play();
    void pause();
    bool playing() const { return playing_; }

    // The preview shows a picture of its own (Test's key frame): the timeline leaves it there,
    // even when the movie changes, until it is used again.
    void holdPicture();
    // A setting changed: the timeline's frame takes the preview again.
    void releasePicture();
    bool pictureHeld() const { return pictureHeld_; }

    // A render started, made a frame (`framesDone` of them), or ended.
    void renderStarted();
    void renderProgress(long long framesDone);
    void renderEnded();
    // The preview shows the render's frames.
    bool followingRender() const;

    // For tests and the screenshot: the state as the user sees it.
    long long frameCount() const { return facts_.frameCount; }
    long long shownFrame() const { return shownFrame_; }
    // The frame whose picture the timeline gave the preview last; -1 before the first.
    long long pictureFrame() const { return pictureFrame_; }
    bool movieReady() const { return factsReady_; }
    QString frameText() const;
    QString playbackText() const;
    TimelineBar& bar() const { return *bar_; }
    QToolButton& playButton() const { return *playButton_; }
    const SoundtrackPlayer* sound() const { return sound_.get(); }

  signals:
    // The timeline planned the movie the controls describe: `frameCount` frames at `fps` (no
    // frame: the movie cannot be planned).
    void moviePlanned(long long frameCount, int fps);

  private:
    void movieReady(const ScrubMovieFacts& facts);
    void takeFrame();
    void userMoved(long long frame);
    void updateTexts();

    Show show_;
    QToolButton* playButton_ = nullptr;
    QToolButton* followButton_ = nullptr;
    TimelineBar* bar_ = nullptr;
    QLabel* frameLabel_ = nullptr;
    QLabel* playbackLabel_ = nullptr;
    std::unique_ptr<SoundtrackPlayer> sound_;
    PlaybackSound soundSetting_;

    std::optional<MovieSpec> spec_;
    ColorState colors_;
    int generation_ = 0;
    ScrubMovieFacts facts_;
    bool factsReady_ = false;
    long long shownFrame_ = 0;
    long long pictureFrame_ = -1;
    bool playing_ = false;
    bool renderRunning_ = false;
    bool pictureHeld_ = false;
    ScrubFrame lastPlayed_;

    // The newest frame from the worker, taken on the dialog's thread.
    std::mutex latestMutex_;
    std::optional<ScrubFrame> latest_;

    std::unique_ptr<ScrubWorker> worker_;  // last: ends first, before what it reports to
};

}  // namespace zr
