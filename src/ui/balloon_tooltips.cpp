#include "ui/balloon_tooltips.h"

#include "output/movie_format.h"
#include "settings/controls.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <unordered_map>

#include "ui/widget_helpers.h"

namespace zr {

namespace {

const QColor kBalloonColor(255, 255, 200);

const std::unordered_map<int, const char*>& tooltipTexts() {
    static const std::unordered_map<int, const char*> texts = {
        {1, "Start or Stop the render!"},
        {2, "Exit the program"},
        {1000, "The folder of the ZMB files.\nThe AVI files will also be stored in this folder."},
        {1001, "Browse for folder"},
        {1002, "List of speed/time specifications"},
        {1003, "Key Frame"},
        {1004, "Speed or Time"},
        {1005, "Add speed specification with current values"},
        {1006, "Update the selected speed specification with current values"},
        {1007, "Remove the selected speed specification with current values"},
        {1008, "List of rotation specifications"},
        {1010, "Display status of render"},
        {1011, "Width of the Key Frames"},
        {1012, "Height of the Key Frames"},
        {1013, "Width of the resulting movie"},
        {1014, "Height of the resulting movie"},
        {1015, "Zoom level as specified in Abyssal"},
        {1016,
         "Movie frames per movie.\nMany codecs have size limitations, this value is "
         "automatically\nset to produce AVI files in 1.6GB. \"zoomreel-cli join\" puts\nthe "
         "movie files together"},
        {1017, "Number of movie frames per seconds"},
        {1018,
         "Speed or Time\nIf Speed is selected, the number of movie frames per Key Frame is "
         "specicifed\nIf Time is selected, the time stamp for specified Key Frame is specified\nIf "
         "Time NS is selected, speed transitions is not smooth, enabling better control\nThe "
         "format of timestamps are [hh:]mm:ss, where [hh:] is optional"},
        {1020,
         "When activated, no movie will be created, only the preview will display the result"},
        {1021, "About-box"},
        {1022, "Select a predefined Key Frame"},
        {1024, "Activates display of Zoom level text"},
        {1025, "Select font to be used to display Zoom level text"},
        {1026, "Displays the font to be used to display Zoom level text"},
        {1027, "Estimated length of the resulting movie"},
        {1028, "Activates smooth coloring"},
        {1029, "Key Frame"},
        {1030, "Rotation in degrees (float)"},
        {1031, "Add rotation specification with current values"},
        {1032, "Update the selected rotation specification with current values"},
        {1033, "Remove the selected rotation specification with current values"},
        {1034, "Select a predefined Key Frame"},
        {1035, "List of color cycle specifications"},
        {1037, "Key Frame"},
        {1038, "Cycle value (float)"},
        {1039, "Add color cycle specification with current values"},
        {1040, "Update the selected color cycle specification with current values"},
        {1041, "Remove the selected color cycle specification with current values"},
        {1042, "Select a predefined Key Frame"},
        {1043, "List of color division specifications"},
        {1045, "Key Frame"},
        {1046, "Division value (float)"},
        {1047, "Add color division specification with current values"},
        {1048, "Update the selected color division specification with current values"},
        {1049, "Remove the selected color division specification with current values"},
        {1050, "Select a predefined Key Frame"},
        {1051, "Save the current setup to a file"},
        {1052, "Load the current setup from a file"},
        {1053,
         "If activated, the movie will stop directly on the last frame.\nOtherwise the movie will "
         "continue zooming into the last frame.\nActivation of this parameter is useful when "
         "rendering movie in parts,\nfor example for animated stretch/skew or combined with "
         "side-scrolling"},
        {1054,
         "Number of bits per pixel. This is dependent on which codec is used. Most codec only "
         "support 24-bits."},
        {1055, "List of color count specifications"},
        {1057, "Key Frame"},
        {1058, "Number of key colors in the palette"},
        {1059, "Add color count specification with current values"},
        {1060, "Update the selected color count specification with current values"},
        {1061, "Remove the selected color count specification with current values"},
        {1062, "Select a predefined Key Frame"},
        {1064, "Displays iteration values when Stretched coloring method or Slopes is used."},
        {1066,
         "Color method. Available methods are\nStandard: Standard iteration band coloring\nSquare "
         "root: Iterations are squared before colors are appplied\nCubic root: Cube root is "
         "applied before colors\nLogarithm: Logarithm is applied before colors\nStretched: The "
         "palette is stretched over min-max iteration values\nDistance: Distance Estimation"},
        {1067,
         "Start movie from this Key Frame\nThis is useful to test the display of specified\nKey "
         "Frames, invoked with the Test button below"},
        {1068, "List of Infinite Waves"},
        {1070, "Select type of wave:\nHue, Saturation or Brightness"},
        {1072, "Period length of the wave"},
        {1073, "Add a new wave with the given values"},
        {1074, "Update the selected wave"},
        {1075, "Remove the selected wave"},
        {1076, "Activate sine waves on HSB coloring"},
        {1078, "Change the period wave to the nearest higher prime value"},
        {1079,
         "When actived, each Key Frame will be mapped to a movie frame.\nThis is useful for "
         "stretch/skew animation"},
        {1080,
         "Set the initial iteration value.\nThis is useful when rendering parts of the movie "
         "combined with Slopes\nnote the value in the box at right when the previous movie part is "
         "done"},
        {1081,
         "When activated, no rendering will be performed. Instead the time\nfor each speed "
         "specification Key Frame will be displayed in a popup box"},
        {1085, "Test the settings for the Key Frame specified in the input box Start frame above"},
        {1086, "Add random values for Infinite waves"},
        {1090,
         "If activated, the color cycling will be fixed per\niteration band. This is useful when "
         "using old-stylish color cycling\ncombined with non-smooth coloring and Bailout=2"},
        {1091, "List of long color waves"},
        {1093, "Display a color for long color waves.\nUseful of emphasizing the final Minibrot"},
        {1094, "Period lenght of the color wave"},
        {1095, "Add a new color wave with the given values"},
        {1096, "Update the selected color wave"},
        {1097, "Remove the selected color wave"},
        {1098, "Select a color for long color waves.\nUseful of emphasizing the final Minibrot"},
        {1099,
         "Number of Key Frames to be merged\nThe center of the movie will be more stable when more "
         "frames are used\nThe render of the movie will be slower when more frames are used"},
        {1100, "Strength in percent of the color wave"},
        {1101,
         "Set the initial color cycle value.\nThis is useful when rendering parts of the "
         "movie\nnote the value in the box at right when the previous movie part is done"},
        {1102, "Activate Slopes"},
        {1103, "Slope shadow depth"},
        {1104, "Slope shadow strength"},
        {1105,
         "Set the initial rotation value.\nThis is useful when rendering parts of the movie\nnote "
         "the value in the box at right when the previous movie part is done"},
        {1106,
         "Displays the current color cycle value.\nThis is useful when rendering parts of the "
         "movie\nUse this value in the box at left when the next movie part is initiated"},
        {1107,
         "Displays the current rotation value.\nThis is useful when rendering parts of the "
         "movie\nUse this value in the box at left when the next movie part is initiated"},
        {1108,
         "Displays the current iteration value.\nThis is useful when rendering parts of the movie "
         "combined with Slopes\nUse this value in the box at left when the next movie part is "
         "initiated"},
        {1109, "Activate texture"},
        {1110, "Let you specify a color for pixels inside the M-set"},
        {1111, "When activated, color division is also applied to slopes"},
        {1112,
         "Use elliptical merge images\nThe rectangles from merged key frames can sometimes\nbe "
         "visible and elliptical merged frames may avoid this\nThe render time will be increased"},
        {1113, "Texture depth"},
        {1114, "Texture strength"},
        {1115, "Browse for an image file (jpeg)"},
        {1116, "Browse for an image file (jpeg)"},
        {1117, "Merge ratio of texture with palette"},
        {1118, "Use all images in the folder"},
        {1119, "Dump movie frames as jpeg images"},
        {1121, "Choose the movie file"},
        {1122,
         "The soundtrack of the movie (not for AVI files). Each split file\ncarries its own "
         "stretch of it"},
        {1123, "Choose the soundtrack: any sound file, music or a recording"},
        {1124,
         "Seconds into the movie at which the soundtrack begins; negative:\nthe movie begins "
         "that far into the soundtrack"},
        {1129,
         "Zoom at exact sub-pixel positions\nThe view, the merged key frames and the scrolling are "
         "not cut\non whole pixels, so the zoom runs without a tremor"},
        {1130,
         "Samples per movie pixel across and down (1 to 4), with Sub-pixel zoom\nMore samples "
         "give softer frames with less shimmer\non fine detail; the render takes longer"},
    };
    return texts;
}

constexpr Qt::WindowFlags kPopupFlags = Qt::ToolTip | Qt::FramelessWindowHint |
                                        Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput;

// The balloon outline as a path, for the mask and the black frame.
QPainterPath balloonPath(int width, int height) {
    QPainterPath body;
    // Corner ellipses of 35 x 35 pixels.
    body.addRoundedRect(QRectF(0, 10, width + 1, height + 1 - 10), 17.5, 17.5);
    QPainterPath pointer;
    pointer.setFillRule(Qt::WindingFill);
    pointer.addPolygon(QPolygonF({QPointF(0, 0), QPointF(3, 20), QPointF(15, 15)}));
    pointer.closeSubpath();
    return body.united(pointer);
}

QFont balloonFont() {
    return QApplication::font();
}

}  // namespace

std::string tooltipText(int controlId, int tag) {
    if (tag != 0) {
        return {};
    }
    if (controlId == kIdMovieFile) {
        return "The movie file, film.avi when empty. Its extension chooses the kind of\nfile: " +
               containerExtensions() + ". Split files add _01, _02, ...\nto the name";
    }
    const auto found = tooltipTexts().find(controlId);
    return found == tooltipTexts().end() ? std::string() : std::string(found->second);
}

QRegion balloonRegion(int width, int height) {
    return QRegion(balloonPath(width, height).toFillPolygon().toPolygon(), Qt::WindingFill);
}

BalloonPlacement placeBalloon(QPoint cursor, QSize textSize, const QRect& desktop) {
    const int w = textSize.width();
    const int h = textSize.height();
    int x = cursor.x();
    int y = cursor.y();
    const int right = desktop.x() + desktop.width();
    const int bottom = desktop.y() + desktop.height();
    if (x + w + 27 > right) {
        x = right - w - 35;
    }
    if (y + h + 27 > bottom) {
        y = bottom - h - 45;
    }
    return BalloonPlacement{QRect(x + 15, y + 15, w + 20, h + 20),
                            QRect(x + 25, y + 19, w + 16, h + 20)};
}

BalloonWindow::BalloonWindow(QWidget* owner) : QWidget(owner, kPopupFlags) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName("TOOLTIP");
    QPalette colors = palette();
    colors.setColor(QPalette::Window, kBalloonColor);
    setPalette(colors);
    setAutoFillBackground(true);
    resize(120, 120);
}

void BalloonWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBalloonColor);
    painter.setFont(balloonFont());
    painter.setPen(Qt::black);
    const QRect textArea = rect().adjusted(0, 14, 0, 0);
    painter.drawText(textArea, Qt::AlignHCenter | Qt::AlignTop | Qt::TextExpandTabs, windowTitle());
    // The frame runs just inside the outline, so all four sides stay visible.
    painter.drawPath(balloonPath(width() - 2, height() - 2));
    painter.drawLine(0, height() - 1, width(), height() - 1);
}

ShadowWindow::ShadowWindow(QWidget* owner) : QWidget(owner, kPopupFlags) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName("SKUGGA");
    setWindowOpacity(100.0 / 255.0);
    resize(120, 120);
}

void ShadowWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QRect area = rect();
    // Concentric rectangles, darker inwards, until the bottom reaches half the height.
    for (int grey = 180; grey >= 20; grey -= 20) {
        painter.fillRect(area, QColor(grey, grey, grey));
        area.adjust(1, 1, -1, -1);
        if (area.bottom() <= height() / 2 || area.isEmpty()) {
            break;
        }
    }
}

BalloonTooltips::BalloonTooltips(QWidget* dialog, int tag, TextForControl textForControl)
    : dialogWindow_(dialog->window()),
      textForControl_(std::move(textForControl)),
      balloon_(dialog->window()),
      shadow_(dialog->window()) {
    registerWidgets(dialog, tag);
    connect(&timer_, &QTimer::timeout, this, [this] { poll(QCursor::pos()); });
    timer_.start(kPollMilliseconds);
}

void BalloonTooltips::registerWidgets(QWidget* parent, int tag) {
    for (QObject* child : parent->children()) {
        if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isWindow()) {
            registry_.insert(widget, tag);
            registerWidgets(widget, tag);
        }
    }
}

const QWidget* BalloonTooltips::registeredControlAt(QPoint cursor) const {
    // The widget under the cursor may be a part of a control (a list's viewport, a combo
    // box's edit): the control is the nearest ancestor that carries an identifier.
    const QWidget* widget = QApplication::widgetAt(cursor);
    while (widget != nullptr && !hasControlId(widget) && !widget->isWindow()) {
        widget = widget->parentWidget();
    }
    if (widget == nullptr || !registry_.contains(widget)) {
        return nullptr;
    }
    // Disabled and hidden controls are never the control under the cursor.
    if (!widget->isEnabled() || !widget->isVisible()) {
        return nullptr;
    }
    return widget;
}

void BalloonTooltips::hideBalloon() {
    balloon_.hide();
    shadow_.hide();
    shown_ = nullptr;
}

bool BalloonTooltips::popupOpen() const {
    const QWidget* modal = QApplication::activeModalWidget();
    return QApplication::activePopupWidget() != nullptr ||
           (modal != nullptr && modal != dialogWindow_);
}

void BalloonTooltips::poll(QPoint cursor) {
    const QWidget* control = popupOpen() ? nullptr : registeredControlAt(cursor);
    QString text;
    if (control != nullptr) {
        text = QString::fromStdString(textForControl_(controlIdOf(control), registry_[control]));
        if (text.isEmpty()) {
            control = nullptr;
        }
    }
    if (shown_ != nullptr && control != shown_) {
        hideBalloon();
        return;
    }
    if (shown_ != nullptr || control == nullptr) {
        return;
    }
    shown_ = control;
    const QFontMetrics metrics(balloonFont());
    const QSize textSize =
        metrics.boundingRect(QRect(0, 0, 100000, 100000), Qt::TextExpandTabs, text).size();
    const QScreen* screen = QGuiApplication::screenAt(cursor);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const BalloonPlacement place = placeBalloon(cursor, textSize, screen->geometry());
    balloon_.setWindowTitle(text);
    shadow_.setGeometry(place.shadow);
    shadow_.setMask(balloonRegion(place.shadow.width(), place.shadow.height()));
    shadow_.show();
    shadow_.raise();
    balloon_.setGeometry(place.balloon);
    balloon_.setMask(balloonRegion(place.balloon.width(), place.balloon.height()));
    balloon_.show();
    balloon_.raise();
    balloon_.update();
}

}  // namespace zr
