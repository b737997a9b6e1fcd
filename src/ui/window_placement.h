#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

namespace zr {

// Where the preview window's frame goes beside the dialog's frame `dialog`:
// - to the right of the dialog with the same top, its usual place, when it lies on a screen there
//   (`screens` are the available areas of all screens);
// - else to the left of the dialog, else below it, else above it, moved along the dialog's edge
//   as far as needed to stay on `dialogScreen` (the available area of the dialog's screen);
// - else inside `dialogScreen` over the dialog's lower right corner, above the strip of
//   `keepClearBelow` pixels at the dialog's bottom (its status row with Start and Exit), where
//   the dialog's last column has room to spare.
// The preview never ends up off the screens; one larger than the screen keeps its top-left
// corner on it.
QPoint previewPosition(const QRect& dialog, const QSize& preview, const std::vector<QRect>& screens,
                       const QRect& dialogScreen, int keepClearBelow = 0);

// Where the dialog's frame of size `dialog` goes on a screen whose available area is
// `available`: the dialog and the preview beside it are centred together when both fit side by
// side, else the dialog alone is centred (the preview then finds its own place).
QPoint dialogPosition(const QSize& dialog, const QSize& preview, const QRect& available);

}  // namespace zr
