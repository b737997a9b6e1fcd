#include "ui/preview_window.h"

#include <QImage>
#include <QPainter>
#include <QVBoxLayout>

#include "coloring/scale_image.h"
#include "ui/scrubber.h"
#include "ui/widget_helpers.h"

namespace zr {

PreviewPicture::PreviewPicture(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void PreviewPicture::showFrame(const FrameImage& frame) {
    if (frame.empty() || width() <= 0 || height() <= 0) {
        return;
    }
    shown_ = scaleImage(frame, width(), height());
    update();
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
    painter.drawImage(0, 0, picture);
    if (shown_.width() < width() || shown_.height() < height()) {
        painter.fillRect(QRect(shown_.width(), 0, width() - shown_.width(), height()), Qt::black);
        painter.fillRect(QRect(0, shown_.height(), shown_.width(), height() - shown_.height()),
                         Qt::black);
    }
}

PreviewWindow::PreviewWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setWindowTitle("Preview");
    setAttribute(Qt::WA_ShowWithoutActivating);
    picture_ = new PreviewPicture(this);
    scrubber_ = new Scrubber(this, [this](const FrameImage& frame) { showFrame(frame); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(picture_, 1);
    layout->addWidget(scrubber_);
    resize(dialogUnitsX(this, 186), dialogUnitsY(this, 94) + scrubber_->sizeHint().height());
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
