#pragma once

#include <QWidget>

#include "support/frame_image.h"

namespace zr {

// The "Preview" window beside the dialog: every frame shown is scaled (area averaging) to the
// whole client area, both directions on their own, so the picture takes the window's shape.
class PreviewWindow : public QWidget {
    Q_OBJECT
  public:
    explicit PreviewWindow(QWidget* owner);

    // Scales `frame` to the client area and draws it.
    void showFrame(const FrameImage& frame);

    // The picture as last drawn (client area size), empty before the first frame.
    const FrameImage& shownPicture() const { return shown_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    FrameImage shown_;
};

}  // namespace zr
