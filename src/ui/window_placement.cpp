#include "ui/window_placement.h"

#include <algorithm>

namespace zr {

namespace {

bool onSomeScreen(const QRect& window, const std::vector<QRect>& screens) {
    return std::any_of(screens.begin(), screens.end(),
                       [&](const QRect& screen) { return screen.contains(window); });
}

// `start` moved no further than needed to keep `length` pixels from it inside [low, high]; a
// length beyond the range keeps the start at `low`.
int clampedStart(int start, int length, int low, int high) {
    return std::max(low, std::min(start, high - length + 1));
}

}  // namespace

QPoint previewPosition(const QRect& dialog, const QSize& preview, const std::vector<QRect>& screens,
                       const QRect& dialogScreen, int keepClearBelow) {
    const QRect usual(QPoint(dialog.right() + 1, dialog.top()), preview);
    if (onSomeScreen(usual, screens)) {
        return usual.topLeft();
    }
    const int top =
        clampedStart(dialog.top(), preview.height(), dialogScreen.top(), dialogScreen.bottom());
    const int left =
        clampedStart(dialog.left(), preview.width(), dialogScreen.left(), dialogScreen.right());
    const QPoint sides[] = {
        {dialog.right() + 1, top},                // right, moved up or down
        {dialog.left() - preview.width(), top},   // left
        {left, dialog.bottom() + 1},              // below
        {left, dialog.top() - preview.height()},  // above
    };
    for (const QPoint& side : sides) {
        if (dialogScreen.contains(QRect(side, preview))) {
            return side;
        }
    }
    const QPoint corner(dialog.right() + 1 - preview.width(),
                        dialog.bottom() + 1 - keepClearBelow - preview.height());
    return QPoint(
        clampedStart(corner.x(), preview.width(), dialogScreen.left(), dialogScreen.right()),
        clampedStart(corner.y(), preview.height(), dialogScreen.top(), dialogScreen.bottom()));
}

QPoint dialogPosition(const QSize& dialog, const QSize& preview, const QRect& available) {
    const int pairWidth = dialog.width() + preview.width();
    const int width = pairWidth <= available.width() ? pairWidth : dialog.width();
    const int left = clampedStart(available.left() + (available.width() - width) / 2,
                                  dialog.width(), available.left(), available.right());
    const int top = clampedStart(available.top() + (available.height() - dialog.height()) / 2,
                                 dialog.height(), available.top(), available.bottom());
    return QPoint(left, top);
}

}  // namespace zr
