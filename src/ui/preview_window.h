#pragma once

#include <QWidget>

#include "support/frame_image.h"
#include "support/thread_pool.h"

namespace zr {

class Scrubber;

// The key that moves the focus from the dialog to the preview's timeline and back.
inline constexpr int kTimelineKey = Qt::Key_F6;

// The picture area of the preview: the frame shown, scaled (area averaging) to the largest size
// of the frame's shape that fits the area, in its middle, black around it. A new size of the
// area scales the frame anew at once.
class PreviewPicture : public QWidget {
    Q_OBJECT
  public:
    explicit PreviewPicture(QWidget* parent);
    // Shows `frame`; an empty one leaves the area black.
    void showFrame(const FrameImage& frame);
    // The scaled picture as drawn (empty before the first frame) and where it is drawn.
    const FrameImage& shownPicture() const { return shown_; }
    QRect pictureRect() const;

    // The largest size of `frame`'s shape inside `area`, at least one pixel each way.
    static QSize fitted(QSize frame, QSize area);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void scale();

    FrameImage source_;  // the frame at its own size
    FrameImage shown_;
};

// The "Preview" window beside the dialog: the picture, and under it the timeline of the movie
// the dialog describes. Its close box hides it; the next Test or Start shows it again.
class PreviewWindow : public QWidget {
    Q_OBJECT
  public:
    // `threads`: what the scrubber renders frames on.
    explicit PreviewWindow(QWidget* owner, const ThreadShare& threads = {});

    // Scales `frame` to the picture area and draws it.
    void showFrame(const FrameImage& frame);
    // A frame of the render under way: shown unless the timeline is in use.
    void showRenderFrame(const FrameImage& frame);

    // The picture as last drawn (picture area size), empty before the first frame.
    const FrameImage& shownPicture() const { return picture_->shownPicture(); }
    PreviewPicture& picture() const { return *picture_; }
    Scrubber& scrubber() const { return *scrubber_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    PreviewPicture* picture_ = nullptr;
    Scrubber* scrubber_ = nullptr;
};

}  // namespace zr
