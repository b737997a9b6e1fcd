#include "ui/soundtrack_player.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>
#include <chrono>
#include <cmath>

namespace zr {

namespace {

// The sound is moved back in step when it is this far from the movie's clock.
constexpr double kLargestDrift = 0.08;

// Sound files are read through FFmpeg, which reads every sound file the movie files take; the
// other media backend needs plugins of its own and fails without them. Qt takes the backend
// when the first player or output is made.
void chooseMediaBackend() {
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) {
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    }
}

qint64 steadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

SoundtrackPlayer::SoundtrackPlayer(const std::string& path, double offsetSeconds, QObject* parent)
    : QObject(parent), path_(path), offset_(offsetSeconds) {
    chooseMediaBackend();
    // A player made without a sound device writes into an output that is not there and brings
    // the program down from its audio thread: without one the movie plays silently.
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        silent_ = "no sound device";
    } else {
        output_ = std::make_unique<QAudioOutput>(device);
        player_ = std::make_unique<QMediaPlayer>();
        player_->setAudioOutput(output_.get());
        connect(player_.get(), &QMediaPlayer::errorOccurred, this,
                [this](QMediaPlayer::Error, const QString& reason) {
                    goSilent(reason.isEmpty() ? QString("the sound cannot be played") : reason);
                });
        player_->setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
    }
    startLater_.setSingleShot(true);
    connect(&startLater_, &QTimer::timeout, this, [this] {
        if (playing_ && player_ && silent_.isEmpty()) {
            player_->setPosition(0);
            player_->play();
        }
    });
    inStep_.setInterval(1000);
    connect(&inStep_, &QTimer::timeout, this, [this] { keepInStep(); });
}

SoundtrackPlayer::~SoundtrackPlayer() {
    if (player_) {
        player_->stop();
    }
}

void SoundtrackPlayer::goSilent(const QString& reason) {
    if (!silent_.isEmpty()) {
        return;
    }
    silent_ = reason;
    startLater_.stop();
    inStep_.stop();
    if (player_) {
        // Let go of the device the player failed with; the movie goes on without it.
        player_->stop();
        player_->setAudioOutput(nullptr);
    }
    emit silenced();
}

double SoundtrackPlayer::movieSecondsNow() const {
    return movieStart_ + static_cast<double>(steadyMilliseconds() - clockStart_) / 1000.0;
}

void SoundtrackPlayer::playFrom(double movieSeconds) {
    playing_ = true;
    movieStart_ = movieSeconds;
    clockStart_ = steadyMilliseconds();
    startedAt_ = soundSeconds(movieSeconds);
    if (!silent_.isEmpty()) {
        return;
    }
    if (startedAt_ < 0.0) {
        player_->pause();
        startLater_.start(static_cast<int>(std::ceil(-startedAt_ * 1000.0)));
    } else {
        player_->setPosition(static_cast<qint64>(startedAt_ * 1000.0));
        player_->play();
    }
    inStep_.start();
}

void SoundtrackPlayer::pause() {
    playing_ = false;
    startLater_.stop();
    inStep_.stop();
    if (player_ && silent_.isEmpty()) {
        player_->pause();
    }
}

void SoundtrackPlayer::keepInStep() {
    if (!playing_ || !silent_.isEmpty() || player_->playbackState() != QMediaPlayer::PlayingState) {
        return;
    }
    const double due = soundSeconds(movieSecondsNow());
    const double at = static_cast<double>(player_->position()) / 1000.0;
    if (due >= 0.0 && std::abs(due - at) > kLargestDrift) {
        player_->setPosition(static_cast<qint64>(due * 1000.0));
    }
}

}  // namespace zr
