#include "ui/preview_window.h"

#include <QImage>
#include <QPainter>

#include "coloring/scale_image.h"
#include "ui/widget_helpers.h"

namespace zr {

PreviewWindow::PreviewWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setWindowTitle("Preview");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(dialogUnitsX(this, 186), dialogUnitsY(this, 94));
}

void PreviewWindow::showFrame(const FrameImage& frame) {
    if (frame.empty() || width() <= 0 || height() <= 0) {
        return;
    }
    shown_ = scaleImage(frame, width(), height());
    update();
}

void PreviewWindow::paintEvent(QPaintEvent*) {
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

}  // namespace zr
