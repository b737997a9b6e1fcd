#include "ui/scrubber.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "movie/movie_length.h"
#include "ui/soundtrack_player.h"

namespace zr {

namespace {

constexpr int kMargin = 6;  // the bar's ends, so the first and last frame can be reached

int fpsOf(const std::optional<MovieSpec>& spec) {
    return spec ? std::max(spec->output.fps, 1) : 30;
}

// The frames at which the time stamps of a "Time" or "Time NS" speed list fall.
std::vector<long long> stampFramesOf(const MovieSpec& spec) {
    std::vector<long long> frames;
    if (spec.timeline.timeType == kTimeTypeSpeed) {
        return frames;
    }
    const long long fps = std::max(spec.output.fps, 1);
    for (const auto& row : spec.timeline.speedSpecs.rows()) {
        if (row.value.stampSeconds >= 0 && row.value.stampSeconds < (1LL << 40)) {
            frames.push_back(row.value.stampSeconds * fps);
        }
    }
    return frames;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TimelineBar::TimelineBar(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMinimumHeight(22);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setToolTip(
        "The movie from its first frame to its last: press or drag to see a frame. Ticks: "
        "where key frames begin; triangles: time stamps. F6 in the dialog comes here; the arrow "
        "keys, Page Up, Page Down, Home and End move, Space plays");
}

QSize TimelineBar::sizeHint() const {
    return {200, 22};
}

void TimelineBar::setMovie(long long frameCount, std::vector<long long> keyFrameStarts,
                           std::vector<long long> stampFrames) {
    frameCount_ = std::max(0LL, frameCount);
    keyFrameStarts_ = std::move(keyFrameStarts);
    stampFrames_ = std::move(stampFrames);
    cursor_ = std::clamp(cursor_, 0LL, std::max(0LL, frameCount_ - 1));
    update();
}

void TimelineBar::setCursor(long long frame) {
    cursor_ = std::clamp(frame, 0LL, std::max(0LL, frameCount_ - 1));
    update();
}

QRect TimelineBar::groove() const {
    return QRect(kMargin, 4, std::max(1, width() - 2 * kMargin), height() - 8);
}

int TimelineBar::xOf(long long frame) const {
    const QRect line = groove();
    if (frameCount_ <= 1) {
        return line.left();
    }
    const double share = static_cast<double>(frame) / static_cast<double>(frameCount_ - 1);
    return line.left() + static_cast<int>(std::lround(share * (line.width() - 1)));
}

long long TimelineBar::frameAt(int x) const {
    const QRect line = groove();
    if (frameCount_ <= 1 || line.width() <= 1) {
        return 0;
    }
    const double share = static_cast<double>(x - line.left()) / (line.width() - 1);
    const auto frame = std::llround(share * static_cast<double>(frameCount_ - 1));
    return std::clamp<long long>(frame, 0, frameCount_ - 1);
}

void TimelineBar::request(long long frame) {
    frame = std::clamp(frame, 0LL, std::max(0LL, frameCount_ - 1));
    setCursor(frame);
    emit frameRequested(frame);
}

void TimelineBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && frameCount_ > 0) {
        request(frameAt(event->position().toPoint().x()));
    }
}

void TimelineBar::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && frameCount_ > 0) {
        const long long frame = frameAt(event->position().toPoint().x());
        if (frame != cursor_) {
            request(frame);
        }
    }
}

void TimelineBar::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        emit playToggled();
        return;
    }
    if (frameCount_ <= 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
        case Qt::Key_Left:
            request(cursor_ - 1);
            return;
        case Qt::Key_Right:
            request(cursor_ + 1);
            return;
        case Qt::Key_Home:
            request(0);
            return;
        case Qt::Key_End:
            request(frameCount_ - 1);
            return;
        case Qt::Key_PageUp: {
            // The start of this key frame, or of the one before when already there.
            long long target = 0;
            for (const long long start : keyFrameStarts_) {
                if (start < cursor_) {
                    target = start;
                }
            }
            request(target);
            return;
        }
        case Qt::Key_PageDown: {
            for (const long long start : keyFrameStarts_) {
                if (start > cursor_ && start < frameCount_) {
                    request(start);
                    return;
                }
            }
            request(frameCount_ - 1);
            return;
        }
        default:
            QWidget::keyPressEvent(event);
    }
}

void TimelineBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect line = groove();
    painter.fillRect(rect(), palette().window());
    painter.fillRect(line, palette().base());
    painter.setPen(palette().mid().color());
    painter.drawRect(line.adjusted(0, 0, -1, -1));
    if (frameCount_ <= 0) {
        return;
    }
    // Where the key frames begin.
    painter.setPen(palette().text().color());
    for (const long long start : keyFrameStarts_) {
        if (start < frameCount_) {
            const int x = xOf(start);
            painter.drawLine(x, line.bottom() - line.height() / 2, x, line.bottom());
        }
    }
    // The time stamps, as small triangles along the top.
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(220, 120, 0));
    for (const long long stamp : stampFrames_) {
        if (stamp < frameCount_) {
            const int x = xOf(stamp);
            const QPointF corners[] = {{x - 4.0, 0.0}, {x + 4.0, 0.0}, {double(x), 6.0}};
            painter.drawPolygon(corners, 3);
        }
    }
    // The frame shown.
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int x = xOf(cursor_);
    painter.fillRect(QRect(x - 1, 1, 3, height() - 2), palette().highlight());
}

// ---------------------------------------------------------------------------------------------

Scrubber::Scrubber(QWidget* parent, Show show, const ThreadShare& threads)
    : QWidget(parent), show_(std::move(show)) {
    playButton_ = new QToolButton(this);
    playButton_->setText("Play");
    playButton_->setToolTip("Play the movie from the frame shown, at its own frame rate");
    followButton_ = new QToolButton(this);
    followButton_->setText("Render");
    followButton_->setCheckable(true);
    followButton_->setToolTip("Show the frames of the render under way");
    followButton_->hide();
    bar_ = new TimelineBar(this);
    frameLabel_ = new QLabel(this);
    playbackLabel_ = new QLabel(this);
    QFont small = playbackLabel_->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    frameLabel_->setFont(small);
    playbackLabel_->setFont(small);

    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(playButton_);
    top->addWidget(bar_, 1);
    top->addWidget(followButton_);
    // The playback text has a line of its own, wrapped, so that it is read whole in a narrow
    // preview.
    playbackLabel_->setWordWrap(true);
    auto* bottom = new QVBoxLayout;
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->setSpacing(0);
    bottom->addWidget(frameLabel_);
    bottom->addWidget(playbackLabel_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(1);
    layout->addLayout(top);
    layout->addLayout(bottom);

    connect(playButton_, &QToolButton::clicked, this, [this] { playing_ ? pause() : play(); });
    connect(bar_, &TimelineBar::playToggled, this, [this] { playing_ ? pause() : play(); });
    connect(bar_, &TimelineBar::frameRequested, this,
            [this](long long frame) { userMoved(frame); });
    connect(followButton_, &QToolButton::toggled, this, [this](bool on) {
        if (on && playing_) {
            pause();
        }
        if (!on && factsReady_) {
            worker_->show(shownFrame_);  // back to the timeline's frame
        }
        updateTexts();
    });

    ScrubWorker::Callbacks callbacks;
    callbacks.movieReady = [this](const ScrubMovieFacts& facts) {
        QMetaObject::invokeMethod(
            this, [this, facts] { movieReady(facts); }, Qt::QueuedConnection);
    };
    callbacks.frameReady = [this](ScrubFrame&& frame) {
        bool post = false;
        {
            const std::lock_guard lock(latestMutex_);
            post = !latest_;
            latest_ = std::move(frame);
        }
        if (post) {
            QMetaObject::invokeMethod(
                this, [this] { takeFrame(); }, Qt::QueuedConnection);
        }
    };
    worker_ = std::make_unique<ScrubWorker>(std::move(callbacks), threads);
    updateTexts();
}

Scrubber::~Scrubber() {
    worker_.reset();
}

void Scrubber::setMovie(const MovieSpec& spec, const ColorState& colors) {
    if (spec_ && *spec_ == spec && colors_ == colors) {
        return;
    }
    spec_ = spec;
    colors_ = colors;
    factsReady_ = false;
    pictureFrame_ = -1;
    generation_ = worker_->setMovie(spec, colors);
    if (!playing_ && !followingRender() && !pictureHeld_) {
        worker_->show(shownFrame_);
    }
}

void Scrubber::setSound(const PlaybackSound& sound) {
    if (sound == soundSetting_) {
        return;
    }
    soundSetting_ = sound;
    const bool wasPlaying = playing_;
    if (wasPlaying) {
        pause();
    }
    sound_.reset();
    if (!sound.path.empty()) {
        sound_ = std::make_unique<SoundtrackPlayer>(sound.path, sound.offsetSeconds);
        connect(sound_.get(), &SoundtrackPlayer::silenced, this, [this] { updateTexts(); });
    }
    if (wasPlaying) {
        play();
    }
}

void Scrubber::movieReady(const ScrubMovieFacts& facts) {
    if (facts.generation != generation_ || !spec_) {
        return;
    }
    facts_ = facts;
    factsReady_ = true;
    emit moviePlanned(facts.frameCount, fpsOf(spec_));
    bar_->setMovie(facts.ok ? facts.frameCount : 0, facts.keyFrameStarts, stampFramesOf(*spec_));
    if (facts.ok) {
        shownFrame_ = std::clamp(shownFrame_, 0LL, facts.frameCount - 1);
    } else {
        if (playing_) {
            pause();
        }
        // No frame of this movie can be shown: the last movie's picture would mislead.
        if (!followingRender() && !pictureHeld_ && show_) {
            show_(FrameImage());
            pictureFrame_ = -1;
        }
    }
    if (!followingRender()) {
        bar_->setCursor(shownFrame_);
    }
    updateTexts();
}

void Scrubber::takeFrame() {
    std::optional<ScrubFrame> taken;
    {
        const std::lock_guard lock(latestMutex_);
        taken.swap(latest_);
    }
    if (!taken || taken->generation != generation_ || followingRender() || pictureHeld_) {
        return;
    }
    ScrubFrame& frame = *taken;
    if (frame.playing && !playing_) {
        return;  // a frame of a playback that has been paused since
    }
    shownFrame_ = frame.frame;
    bar_->setCursor(frame.frame);
    if (!frame.picture.empty() && show_) {
        show_(frame.picture);
        pictureFrame_ = frame.frame;
    }
    if (frame.playing) {
        lastPlayed_ = std::move(frame);
        lastPlayed_.picture = FrameImage();
        if (lastPlayed_.ended) {
            // The movie's last frame: playing stops there.
            playing_ = false;
            if (sound_) {
                sound_->pause();
            }
            playButton_->setText("Play");
        }
    }
    updateTexts();
}

void Scrubber::holdPicture() {
    if (playing_) {
        pause();
    }
    pictureHeld_ = true;
    updateTexts();
}

void Scrubber::releasePicture() {
    if (!pictureHeld_) {
        return;
    }
    pictureHeld_ = false;
    if (!playing_ && !followingRender()) {
        worker_->show(shownFrame_);
    }
    updateTexts();
}

void Scrubber::userMoved(long long frame) {
    pictureHeld_ = false;
    followButton_->setChecked(false);
    shownFrame_ = frame;
    if (playing_) {
        // Playing goes on from the frame chosen.
        play();
        return;
    }
    worker_->show(frame);
    updateTexts();
}

void Scrubber::showFrame(long long frame) {
    bar_->setCursor(frame);
    userMoved(bar_->cursor());
}

void Scrubber::play() {
    if (!factsReady_ || !facts_.ok) {
        return;
    }
    pictureHeld_ = false;
    followButton_->setChecked(false);
    if (shownFrame_ >= facts_.frameCount - 1) {
        shownFrame_ = 0;  // from the end, playing starts again at the beginning
    }
    playing_ = true;
    lastPlayed_ = ScrubFrame{};
    playButton_->setText("Pause");
    const int fps = fpsOf(spec_);
    worker_->play(shownFrame_, fps);
    if (sound_) {
        sound_->playFrom(static_cast<double>(shownFrame_) / fps);
    }
    updateTexts();
}

void Scrubber::pause() {
    playing_ = false;
    playButton_->setText("Play");
    worker_->pause();
    if (sound_) {
        sound_->pause();
    }
    updateTexts();
}

void Scrubber::renderStarted() {
    renderRunning_ = true;
    if (playing_) {
        pause();
    }
    followButton_->show();
    followButton_->setChecked(true);
    updateTexts();
}

void Scrubber::renderProgress(long long framesDone) {
    if (followingRender()) {
        bar_->setCursor(framesDone - 1);
    }
}

void Scrubber::renderEnded() {
    renderRunning_ = false;
    followButton_->setChecked(false);
    followButton_->hide();
    bar_->setCursor(shownFrame_);
    updateTexts();
}

bool Scrubber::followingRender() const {
    return renderRunning_ && followButton_->isChecked();
}

QString Scrubber::frameText() const {
    if (!factsReady_) {
        return "Timeline: reading the movie...";
    }
    if (!facts_.ok) {
        return spec_ && spec_->output.skipRender ? "Timeline: \"Skip render\" makes no pictures"
                                                 : "Timeline: no movie frame to show";
    }
    if (followingRender()) {
        return "Showing the render";
    }
    if (pictureHeld_) {
        return "Showing the tested key frame";
    }
    const int fps = fpsOf(spec_);
    return QString("Frame %1 of %2, %3")
        .arg(shownFrame_)
        .arg(facts_.frameCount)
        .arg(QString::fromStdString(formatMovieTime(shownFrame_, fps)));
}

QString Scrubber::playbackText() const {
    const ScrubFrame& last = lastPlayed_;
    const long long seen = last.shown + last.skipped;
    QString text;
    if (seen <= 0 || last.skipped <= 0) {
        text = playing_ ? QString("Playing at %1 fps").arg(fpsOf(spec_)) : QString();
    } else {
        // Frames the clock asked for that could not be made in time were left out.
        const double rate =
            fpsOf(spec_) * static_cast<double>(last.shown) / static_cast<double>(seen);
        text = QString("%1 %2 of %3 fps, frames skipped to keep time")
                   .arg(playing_ ? "Playing" : "Played")
                   .arg(rate, 0, 'f', 1)
                   .arg(fpsOf(spec_));
    }
    if (!text.isEmpty() && sound_ && !sound_->silent().isEmpty()) {
        text += QString(", without sound: %1").arg(sound_->silent());
    }
    return text;
}

void Scrubber::updateTexts() {
    frameLabel_->setText(frameText());
    playbackLabel_->setText(playbackText());
    playButton_->setEnabled(factsReady_ && facts_.ok);
}

}  // namespace zr
