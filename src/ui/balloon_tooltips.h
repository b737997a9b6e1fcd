#pragma once

#include <QHash>
#include <QObject>
#include <QRect>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

namespace zr {

// The tooltip text of the control `controlId` of the dialog registered with `tag`; "" for
// none. The main dialog registers with tag 0.
std::string tooltipText(int controlId, int tag);

// The balloon outline for a window of w x h pixels: a rounded rectangle below a pointer whose
// tip is the window's top-left corner.
QRegion balloonRegion(int width, int height);

// Where the balloon and its shadow go for a text of `textSize` with the cursor at `cursor`,
// kept on `desktop`.
struct BalloonPlacement {
    QRect balloon;
    QRect shadow;
};
BalloonPlacement placeBalloon(QPoint cursor, QSize textSize, const QRect& desktop);

// The pale yellow balloon; its title is the text it shows.
class BalloonWindow : public QWidget {
    Q_OBJECT
  public:
    explicit BalloonWindow(QWidget* owner);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// The grey shadow behind the balloon, shown translucent.
class ShadowWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ShadowWindow(QWidget* owner);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// Balloon tooltips of a dialog's controls: every 100 ms the control under the cursor is looked
// up and its text shown in a balloon beside the cursor.
class BalloonTooltips : public QObject {
    Q_OBJECT
  public:
    using TextForControl = std::function<std::string(int controlId, int tag)>;

    // Registers every widget of `dialog` (with its tag) and starts polling.
    BalloonTooltips(QWidget* dialog, int tag, TextForControl textForControl);

    // One poll with the cursor at `cursor` (screen coordinates).
    void poll(QPoint cursor);

    bool showing() const { return shown_ != nullptr; }
    QString shownText() const { return balloon_.windowTitle(); }
    const QWidget* shownWidget() const { return shown_; }
    const BalloonWindow& balloon() const { return balloon_; }
    const ShadowWindow& shadow() const { return shadow_; }

    static constexpr int kPollMilliseconds = 100;

  private:
    void registerWidgets(QWidget* parent, int tag);
    const QWidget* registeredControlAt(QPoint cursor) const;
    void hideBalloon();
    // A menu or a dialog other than the registered one is open: balloons would cover it.
    bool popupOpen() const;

    const QWidget* dialogWindow_;
    TextForControl textForControl_;
    QHash<const QWidget*, int> registry_;  // widget -> tag
    BalloonWindow balloon_;
    ShadowWindow shadow_;
    const QWidget* shown_ = nullptr;
    QTimer timer_;
};

}  // namespace zr
