#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>

class QAudioOutput;
class QMediaPlayer;

namespace zr {

// The soundtrack played with the timeline: movie time t plays the sound at t - offset. The
// movie's clock leads; the sound is put back in place when it drifts from it. Without a sound
// device, or when the device or the file fails, the movie plays on without sound: `silent` then
// says why.
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
    // Why the sound is not heard ("no sound device", ...); empty while it plays.
    const QString& silent() const { return silent_; }

  signals:
    // The sound went silent while the movie played on; `silent()` says why.
    void silenced();

  private:
    void goSilent(const QString& reason);
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
    QString silent_;
};

}  // namespace zr
