#pragma once

#include <QWidget>

#include "support/frame_image.h"

namespace zr {

class Scrubber;

// The picture area of the preview: the frame shown, scaled (area averaging) to the whole area,
// both directions on their own, so the picture takes the area's shape.
class PreviewPicture : public QWidget {
    Q_OBJECT
  public:
    explicit PreviewPicture(QWidget* parent);
    void showFrame(const FrameImage& frame);
    const FrameImage& shownPicture() const { return shown_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    FrameImage shown_;
};

// The "Preview" window beside the dialog: the picture, and under it the timeline of the movie
// the dialog describes.
class PreviewWindow : public QWidget {
    Q_OBJECT
  public:
    explicit PreviewWindow(QWidget* owner);

    // Scales `frame` to the picture area and draws it.
    void showFrame(const FrameImage& frame);
    // A frame of the render under way: shown unless the timeline is in use.
    void showRenderFrame(const FrameImage& frame);

    // The picture as last drawn (picture area size), empty before the first frame.
    const FrameImage& shownPicture() const { return picture_->shownPicture(); }
    PreviewPicture& picture() const { return *picture_; }
    Scrubber& scrubber() const { return *scrubber_; }

  private:
    PreviewPicture* picture_ = nullptr;
    Scrubber* scrubber_ = nullptr;
};

}  // namespace zr
