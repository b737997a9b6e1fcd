#include "ui/main_dialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "movie/render_session.h"
#include "settings/parameters.h"
#include "settings/setting_types.h"
#include "support/thread_budget.h"
#include "ui/balloon_tooltips.h"
#include "ui/gui_render_host.h"
#include "ui/preview_window.h"
#include "ui/scrubber.h"
#include "ui/widget_helpers.h"
#include "ui/window_placement.h"

namespace zr {

namespace {

QIcon programIcon() {
    // A zoom into nested rings.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor rings[] = {QColor(20, 30, 120), QColor(40, 110, 200), QColor(250, 200, 60),
                            QColor(200, 60, 30), QColor(10, 10, 10)};
    for (int i = 0; i < 5; ++i) {
        const int inset = i * 3;
        painter.setBrush(rings[i]);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QRect(inset, inset, 32 - 2 * inset, 32 - 2 * inset));
    }
    return QIcon(pixmap);
}

}  // namespace

MainDialog::MainDialog(QWidget* parent, ProgramThreads* threads)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      host_(std::make_unique<GuiRenderHost>(*this)),
      session_(threads != nullptr
                   ? std::make_unique<RenderSession>(threads->share(), threads->encoderThreads())
                   : std::make_unique<RenderSession>()) {
    setWindowTitle("Zoomreel");
    buildLayout();
    initialise();
}

MainDialog::~MainDialog() {
    // A run still under way gets no more answers from the dialog; it is asked to stop and
    // waited for: it ends after its current frame and finishes the movie file it is writing.
    host_->detach();
    if (runInProgress()) {
        session_->requestStop();
    }
    for (RenderRun& run : runs_) {
        run.thread.join();
    }
}

RenderHost& MainDialog::renderHost() {
    return *host_;
}

void MainDialog::registerControl(QWidget* widget, int id) {
    setControlId(widget, id);
    if (id != kNoControlId) {
        controls_[id] = widget;
    }
}

QWidget* MainDialog::control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

void MainDialog::initialise() {
    // 1. The icon and the tooltips.
    setWindowIcon(programIcon());
    tooltips_ = std::make_unique<BalloonTooltips>(this, 0, tooltipText);

    // 2. The lists. Entries and first values come from the parameter table.
    auto fillChoices = [this](int id) {
        const Parameter& parameter = *parameterOfControl(id);
        auto* box = static_cast<QComboBox*>(control(id));
        for (const std::string_view entry : parameter.choices) {
            box->addItem(QString::fromUtf8(entry.data(), static_cast<int>(entry.size())));
        }
        applyDefaultValue(*this, parameter);
    };
    auto setDefault = [this](int id) { applyDefaultValue(*this, *parameterOfControl(id)); };
    auto* waveType = static_cast<QComboBox*>(control(kIdWaveType));
    waveType->addItems({"Hue", "Saturation", "Brightness", "Wave(RGB)"});
    waveType->setCurrentIndex(-1);
    connect(waveType, &QComboBox::activated, this, &MainDialog::waveTypePicked);
    fillChoices(kIdTimeType);
    setDefault(kIdStartFrame);
    fillChoices(kIdColorMethod);
    fillChoices(kIdColorBits);

    // 3. The preview window, placed beside the dialog once the dialog is on the screen.
    preview_ = new PreviewWindow(this, session_->threads());
    preview_->setWindowIcon(windowIcon());
    // F6 moves the focus to the preview's timeline (and F6 there back to the dialog).
    auto* toTimeline = new QShortcut(QKeySequence(kTimelineKey), this);
    connect(toTimeline, &QShortcut::activated, this, &MainDialog::focusTimeline);

    // 4. FPS (which estimates the movie length) and the first speed.
    setDefault(kIdFps);
    setDefault(kIdSpeedList);

    // 5. Zoom out level and merge count.
    fillChoices(kIdZoomOutLevel);
    fillChoices(kIdMergeCount);

    // 6. The list controllers.
    for (ListControllerIds& ids : standardListControllers()) {
        listControllers_.emplace_back(std::move(ids));
    }

    // 7. Zoom text and smooth colouring on; the font face.
    setDefault(kIdShowZoomText);
    setDefault(kIdSmoothColoring);
    setDefault(kIdFontFace);
    // Sub-pixel zoom starts off, with one sample a movie pixel.
    setDefault(kIdSupersample);

    // "Dump imag" reaches a run under way through the session, never by a read of the box.
    if (auto* dump = qobject_cast<QAbstractButton*>(control(kIdDumpImages))) {
        connect(dump, &QAbstractButton::toggled, this,
                [this](bool on) { session_->dumpImages = on; });
    }
    watchSettingsForTimeline();
}

void MainDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!previewPlaced_) {
        // Shown with the dialog, and placed again once the window system has put the dialog's
        // frame in its place.
        previewPlaced_ = true;
        fitOnItsScreen();
        placePreview();
        preview_->show();
        QTimer::singleShot(0, this, [this] {
            fitOnItsScreen();  // now with the frame the window system gave the dialog
            placePreview();
        });
    }
}

QSize MainDialog::previewFrameSize() const {
    if (preview_->isVisible()) {
        return preview_->frameGeometry().size();
    }
    // Before it is shown the preview's frame is taken to be as wide as the dialog's.
    return preview_->size() + (frameGeometry().size() - size());
}

void MainDialog::placePreview() {
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        screens.push_back(screen->availableGeometry());
    }
    const QRect dialogScreen = screen()->availableGeometry();
    // Over the dialog, the preview leaves its status row with Start and Exit in view.
    const QRect frame = frameGeometry();
    const int statusRowTop = mapToGlobal(QPoint(0, settingsScroll_->geometry().bottom() + 1)).y();
    const int keepClear = frame.bottom() + 1 - statusRowTop;
    preview_->move(previewPosition(frame, previewFrameSize(), screens, dialogScreen, keepClear));
    preview_->raise();  // never behind the dialog
}

void MainDialog::centreOn(const QScreen& screen) {
    fitToScreen(screen.availableGeometry());
    move(dialogPosition(frameGeometry().size(), previewFrameSize(), screen.availableGeometry()));
}

void MainDialog::fitOnItsScreen() {
    const QRect available = screen()->availableGeometry();
    fitToScreen(available);
    // Grown or shrunk, the dialog stays on the screen.
    const QRect frame = frameGeometry();
    QPoint at = frame.topLeft();
    at.setX(std::max(available.left(), std::min(at.x(), available.right() + 1 - frame.width())));
    at.setY(std::max(available.top(), std::min(at.y(), available.bottom() + 1 - frame.height())));
    if (at != frame.topLeft()) {
        move(at);
    }
}

void MainDialog::focusTimeline() {
    preview_->show();
    preview_->raise();
    preview_->activateWindow();
    preview_->scrubber().bar().setFocus(Qt::ShortcutFocusReason);
}

void MainDialog::reject() {
    // Escape and the close box press Exit.
    exitDialog();
}

QImage MainDialog::screenshot() {
    const QPixmap dialogPicture = grab();
    const QPixmap previewPicture = preview_->grab();
    QImage combined(dialogPicture.width() + previewPicture.width(),
                    std::max(dialogPicture.height(), previewPicture.height()),
                    QImage::Format_RGB32);
    combined.fill(Qt::white);
    QPainter painter(&combined);
    painter.drawPixmap(0, 0, dialogPicture);
    painter.drawPixmap(dialogPicture.width(), 0, previewPicture);
    return combined;
}

}  // namespace zr
