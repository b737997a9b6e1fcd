#include "ui/preview_window.h"

#include <QCloseEvent>
#include <QImage>
#include <QPainter>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>

#include "coloring/scale_image.h"
#include "ui/scrubber.h"
#include "ui/widget_helpers.h"

namespace zr {

PreviewPicture::PreviewPicture(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize PreviewPicture::fitted(QSize frame, QSize area) {
    if (frame.isEmpty() || area.isEmpty()) {
        return {};
    }
    // Integer arithmetic in 64 bits: the widest side that keeps the shape, then the other.
    const long long fw = frame.width();
    const long long fh = frame.height();
    long long w = area.width();
    long long h = (w * fh + fw / 2) / fw;
    if (h > area.height()) {
        h = area.height();
        w = (h * fw + fh / 2) / fh;
    }
    return {static_cast<int>(std::clamp(w, 1LL, static_cast<long long>(area.width()))),
            static_cast<int>(std::clamp(h, 1LL, static_cast<long long>(area.height())))};
}

QRect PreviewPicture::pictureRect() const {
    if (shown_.empty()) {
        return {};
    }
    return QRect((width() - shown_.width()) / 2, (height() - shown_.height()) / 2, shown_.width(),
                 shown_.height());
}

void PreviewPicture::showFrame(const FrameImage& frame) {
    source_ = frame;
    if (frame.empty()) {
        shown_ = FrameImage();
        update();
        return;
    }
    scale();
}

void PreviewPicture::scale() {
    const QSize size = fitted(QSize(source_.width(), source_.height()), this->size());
    if (size.isEmpty()) {
        return;
    }
    shown_ = scaleImage(source_, size.width(), size.height());
    update();
}

void PreviewPicture::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!source_.empty()) {
        scale();
    }
}

void PreviewPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (shown_.empty()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // The picture's rows are blue, green, red with a stride padded to 4: Qt reads them as
    // they are, without a copy.
    const QImage picture(shown_.data(), shown_.width(), shown_.height(), shown_.stride(),
                         QImage::Format_BGR888);
    const QRect place = pictureRect();
    painter.drawImage(place.topLeft(), picture);
    // The bars beside or above and below the picture.
    const QRegion bars = QRegion(rect()).subtracted(QRegion(place));
    for (const QRect& bar : bars) {
        painter.fillRect(bar, Qt::black);
    }
}

PreviewWindow::PreviewWindow(QWidget* owner, const ThreadShare& threads)
    : QWidget(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setWindowTitle("Preview");
    setAttribute(Qt::WA_ShowWithoutActivating);
    picture_ = new PreviewPicture(this);
    scrubber_ = new Scrubber(
        this, [this](const FrameImage& frame) { showFrame(frame); }, threads);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(picture_, 1);
    layout->addWidget(scrubber_);
    resize(dialogUnitsX(this, 186), dialogUnitsY(this, 94) + scrubber_->sizeHint().height());
    auto* toDialog = new QShortcut(QKeySequence(kTimelineKey), this);
    connect(toDialog, &QShortcut::activated, this, [owner] {
        owner->activateWindow();
        owner->raise();
    });
}

void PreviewWindow::closeEvent(QCloseEvent* event) {
    // The close box hides the preview; playing stops with it.
    if (scrubber_->playing()) {
        scrubber_->pause();
    }
    event->accept();
    hide();
}

void PreviewWindow::showFrame(const FrameImage& frame) {
    picture_->showFrame(frame);
}

void PreviewWindow::showRenderFrame(const FrameImage& frame) {
    if (scrubber_->followingRender()) {
        picture_->showFrame(frame);
    }
}

}  // namespace zr
