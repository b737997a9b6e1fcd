#pragma once

#include <QObject>
#include <QTimer>
#include <memory>
#include <string>

class QAudioOutput;
class QMediaPlayer;

namespace zr {

// The soundtrack played with the timeline: movie time t plays the sound at t - offset. The
// movie's clock leads; the sound is put back in place when it drifts from it.
class SoundtrackPlayer : public QObject {
    Q_OBJECT
  public:
    SoundtrackPlayer(const std::string& path, double offsetSeconds, QObject* parent = nullptr);
    ~SoundtrackPlayer() override;

    // Plays from movie time `movieSeconds` on; the clock of the movie runs from now.
    void playFrom(double movieSeconds);
    void pause();

    // Where in the sound movie time `movieSeconds` lies (negative: before the sound begins).
    double soundSeconds(double movieSeconds) const { return movieSeconds - offset_; }
    // The sound position the last playFrom asked for, in seconds.
    double startedAt() const { return startedAt_; }
    const std::string& path() const { return path_; }

  private:
    void keepInStep();
    double movieSecondsNow() const;

    std::string path_;
    double offset_ = 0.0;
    std::unique_ptr<QAudioOutput> output_;
    std::unique_ptr<QMediaPlayer> player_;
    QTimer startLater_;  // the sound begins after the movie has: wait for it
    QTimer inStep_;
    double startedAt_ = 0.0;
    double movieStart_ = 0.0;
    qint64 clockStart_ = 0;  // milliseconds of the steady clock at playFrom
    bool playing_ = false;
};

}  // namespace zr
