#include "ui/main_dialog.h"

#include <ft2build.h>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTextOption>
#include <QVBoxLayout>
#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include FT_FREETYPE_H
#include <jpeglib.h>
#include <png.h>
extern "C" {
#include <libavutil/avutil.h>
}

#include "app/folder_choice.h"
#include "app/start_run.h"
#include "app/test_keyframe.h"
#include "movie/movie_length.h"
#include "movie/render_job.h"
#include "settings/memory_controls.h"
#include "settings/movie_settings.h"
#include "settings/settings_file.h"
#include "ui/balloon_tooltips.h"
#include "ui/compressor_dialog.h"
#include "ui/gui_render_host.h"
#include "ui/preview_window.h"
#include "ui/widget_helpers.h"

namespace zr {

namespace {

constexpr int kTabStopDialogUnits = 25;

// Draws list lines with TAB characters expanded to a fixed tab stop.
class TabStopDelegate : public QStyledItemDelegate {
  public:
    TabStopDelegate(QObject* parent, int tabStopPixels)
        : QStyledItemDelegate(parent), tabStop_(tabStopPixels) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QString line = item.text;
        item.text.clear();
        const QWidget* widget = item.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
        QTextOption layout(Qt::AlignLeft | Qt::AlignVCenter);
        layout.setTabStopDistance(tabStop_);
        layout.setWrapMode(QTextOption::NoWrap);
        painter->save();
        painter->setPen(item.state & QStyle::State_Selected
                            ? item.palette.color(QPalette::HighlightedText)
                            : item.palette.color(QPalette::Text));
        painter->drawText(QRectF(item.rect.adjusted(3, 0, -1, 0)), line, layout);
        painter->restore();
    }

  private:
    int tabStop_;
};

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

QString toQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const std::map<int, int>& frameButtonKeyEdits() {
    static const std::map<int, int> keyEdits = {{kIdSpeedFrameNum, kIdSpeedKey},
                                                {kIdRotateFrameNum, kIdRotateKey},
                                                {kIdCycleFrameNum, kIdCycleKey},
                                                {kIdDivideFrameNum, kIdDivideKey},
                                                {kIdColorCountFrameNum, kIdColorCountKey}};
    return keyEdits;
}

std::uint32_t colorRef(const QColor& color) {
    return static_cast<std::uint32_t>(color.red()) |
           (static_cast<std::uint32_t>(color.green()) << 8) |
           (static_cast<std::uint32_t>(color.blue()) << 16);
}

QColor fromColorRef(std::uint32_t value) {
    return QColor(static_cast<int>(value & 0xff), static_cast<int>((value >> 8) & 0xff),
                  static_cast<int>((value >> 16) & 0xff));
}

// Runs the colour chooser with its own table of 16 custom colours.
std::optional<QColor> pickColor(QWidget* owner, const QColor& start,
                                std::array<QColor, 16>& customColors) {
    for (int i = 0; i < 16; ++i) {
        QColorDialog::setCustomColor(
            i, customColors[i].isValid() ? customColors[i] : QColor(Qt::white));
    }
    const QColor chosen = QColorDialog::getColor(start, owner);
    for (int i = 0; i < 16; ++i) {
        customColors[i] = QColorDialog::customColor(i);
    }
    if (!chosen.isValid()) {
        return std::nullopt;
    }
    return chosen;
}

std::string aboutText() {
    std::string text =
        "Zoomreel " ZR_VERSION "\n\nTurns a folder of fractal key frames into a zoom movie.\n\n";
    text += "Qt " + std::string(qVersion()) + "\n";
    text += "FFmpeg " + std::string(av_version_info()) + "\n";
    text += "libjpeg " + std::to_string(JPEG_LIB_VERSION / 10) + "." +
            std::to_string(JPEG_LIB_VERSION % 10) + "\n";
    text += "libpng " PNG_LIBPNG_VER_STRING "\n";
    text += "FreeType " + std::to_string(FREETYPE_MAJOR) + "." + std::to_string(FREETYPE_MINOR) +
            "." + std::to_string(FREETYPE_PATCH) + "\n";
    return text;
}

std::string formatTimeLeft(long long seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld left", seconds / 3600, (seconds / 60) % 60,
                  seconds % 60);
    return text;
}

}  // namespace

MainDialog::MainDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      host_(std::make_unique<GuiRenderHost>(*this)) {
    setWindowTitle("Zoomreel");
    buildLayout();
    initialise();
}

MainDialog::~MainDialog() {
    // A run still under way gets no more answers from the dialog; it is asked to stop and
    // waited for, so that nothing it holds outlives the dialog.
    host_->detach();
    MovieSettings& settings = movieSettings();
    if (settings.running) {
        settings.stopRequested = 1;
    }
    for (RenderRun& run : runs_) {
        // A call the run made just before the host was detached still waits for this thread:
        // deliver it (it does nothing now) until the run has ended.
        while (!*run.done) {
            QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        run.thread.join();
    }
    if (!runs_.empty()) {
        // The end notice went unanswered.
        settings.running = 0;
        settings.stopRequested = 0;
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

void MainDialog::buildLayout() {
    const int tabStop = dialogUnitsX(this, kTabStopDialogUnits);
    auto label = [this](const char* caption, int id = kNoControlId) {
        auto* widget = new QLabel(caption, this);
        registerControl(widget, id);
        return widget;
    };
    auto edit = [this](int id, int widthUnits, bool readOnly = false, bool digitsOnly = false) {
        auto* widget = new QLineEdit(this);
        registerControl(widget, id);
        widget->setReadOnly(readOnly);
        if (widthUnits > 0) {
            widget->setFixedWidth(dialogUnitsX(this, widthUnits));
        }
        if (digitsOnly) {
            widget->installEventFilter(new DigitsOnlyFilter(widget));
        }
        connect(widget, &QLineEdit::textChanged, this, [this, id] { editChanged(id); });
        return widget;
    };
    auto button = [this](int id, const char* caption, int widthUnits = 0) {
        auto* widget = new QPushButton(caption, this);
        registerControl(widget, id);
        widget->setAutoDefault(false);
        if (widthUnits > 0) {
            widget->setFixedWidth(dialogUnitsX(this, widthUnits));
        }
        connect(widget, &QPushButton::clicked, this, [this, id] { command(id); });
        return widget;
    };
    auto check = [this](int id, const char* caption) {
        auto* widget = new QCheckBox(caption, this);
        registerControl(widget, id);
        connect(widget, &QCheckBox::clicked, this, [this, id] { command(id); });
        return widget;
    };
    auto combo = [this](int id) {
        auto* widget = new QComboBox(this);
        registerControl(widget, id);
        widget->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        return widget;
    };
    auto listBox = [this](int id, int tabStopPixels) {
        auto* widget = new QListWidget(this);
        registerControl(widget, id);
        widget->setSelectionMode(QAbstractItemView::SingleSelection);
        widget->setFixedHeight(dialogUnitsY(this, 40));
        if (tabStopPixels > 0) {
            widget->setItemDelegate(new TabStopDelegate(widget, tabStopPixels));
        }
        connect(widget, &QListWidget::itemSelectionChanged, this,
                [this, id] { listSelectionChanged(id); });
        return widget;
    };
    auto group = [this](int id, const char* caption) {
        auto* widget = new QGroupBox(caption, this);
        registerControl(widget, id);
        return widget;
    };
    auto buttonRow = [&](int add, int update, int remove) {
        auto* row = new QHBoxLayout;
        row->addWidget(button(add, "Add"));
        row->addWidget(button(update, "Update"));
        row->addWidget(button(remove, "Remove"));
        return row;
    };
    // A specification list area: key frame menu button and key edit, the value, the list box
    // and its three buttons.
    auto specGroup = [&](int groupId, const char* caption, int frameNum, int key,
                         QWidget* valueCaption, int value, int list, int add, int update,
                         int remove) {
        QGroupBox* box = group(groupId, caption);
        auto* layout = new QVBoxLayout(box);
        auto* top = new QHBoxLayout;
        top->addWidget(button(frameNum, "Frame num."));
        top->addWidget(edit(key, 28, false, true));
        top->addWidget(valueCaption);
        top->addWidget(edit(value, 36));
        layout->addLayout(top);
        layout->addWidget(listBox(list, tabStop));
        layout->addLayout(buttonRow(add, update, remove));
        return box;
    };

    // Folder row.
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(label("Directory"));
    folderRow->addWidget(edit(kIdDirectory, 0), 1);
    folderRow->addWidget(button(kIdBrowseFolder, "...", 16));

    // The five key frame lists.
    QComboBox* timeType = combo(kIdTimeType);
    QGroupBox* speed =
        specGroup(kIdSpeedGroup, "Speed control", kIdSpeedFrameNum, kIdSpeedKey, timeType,
                  kIdSpeedValue, kIdSpeedList, kIdSpeedAdd, kIdSpeedUpdate, kIdSpeedRemove);
    QGroupBox* rotation = specGroup(kIdRotateGroup, "Rotation control", kIdRotateFrameNum,
                                    kIdRotateKey, label("Rotation"), kIdRotateValue, kIdRotateList,
                                    kIdRotateAdd, kIdRotateUpdate, kIdRotateRemove);
    QGroupBox* cycle = specGroup(kIdCycleGroup, "Color cycle control", kIdCycleFrameNum,
                                 kIdCycleKey, label("Cyckle speed"), kIdCycleValue, kIdCycleList,
                                 kIdCycleAdd, kIdCycleUpdate, kIdCycleRemove);
    QGroupBox* division = specGroup(kIdDivideGroup, "Color division control", kIdDivideFrameNum,
                                    kIdDivideKey, label("Division"), kIdDivideValue, kIdDivideList,
                                    kIdDivideAdd, kIdDivideUpdate, kIdDivideRemove);
    QGroupBox* colorCount =
        specGroup(kIdColorCountGroup, "Number of colors control", kIdColorCountFrameNum,
                  kIdColorCountKey, label("Colors", kIdColorCountLabel), kIdColorCountValue,
                  kIdColorCountList, kIdColorCountAdd, kIdColorCountUpdate, kIdColorCountRemove);

    // Waves.
    QGroupBox* waves = group(kIdWaveGroup, "");
    {
        auto* layout = new QGridLayout(waves);
        layout->addWidget(check(kIdWaveColoring, "Wave coloring"), 0, 0, 1, 2);
        layout->addWidget(button(kIdTest, "Test"), 0, 2, 1, 2);
        layout->addWidget(label("Type"), 1, 0);
        layout->addWidget(combo(kIdWaveType), 1, 1, 1, 3);
        layout->addWidget(label("Period", kIdWavePeriodLabel), 2, 0);
        layout->addWidget(edit(kIdWavePeriod, 36), 2, 1, 1, 2);
        layout->addWidget(button(kIdWavePrime, "P", 14), 2, 3);
        QLineEdit* letter = edit(kIdWaveTypeLetter, 0);
        letter->setVisible(false);
        layout->addWidget(listBox(kIdWaveList, 0), 3, 0, 1, 4);
        auto* buttons = buttonRow(kIdWaveAdd, kIdWaveUpdate, kIdWaveRemove);
        buttons->addWidget(button(kIdWaveSeed, "Seed"));
        layout->addLayout(buttons, 4, 0, 1, 4);
    }

    // Long waves.
    QGroupBox* longWaves = group(kIdLongWaveGroup, "Long waves");
    {
        auto* layout = new QGridLayout(longWaves);
        layout->addWidget(button(kIdLongWaveColor, "Color"), 0, 0);
        layout->addWidget(edit(kIdLongWaveColorText, 0, false, true), 0, 1, 1, 3);
        layout->addWidget(label("Period"), 1, 0);
        layout->addWidget(edit(kIdLongWavePeriod, 30), 1, 1);
        layout->addWidget(label("Percent"), 1, 2);
        layout->addWidget(edit(kIdLongWavePercent, 24), 1, 3);
        layout->addWidget(listBox(kIdLongWaveList, 0), 2, 0, 1, 4);
        layout->addLayout(buttonRow(kIdLongWaveAdd, kIdLongWaveUpdate, kIdLongWaveRemove), 3, 0, 1,
                          4);
    }

    // Start values, slopes and texture.
    auto* startValues = new QGridLayout;
    startValues->addWidget(label("Start cycle value"), 0, 0);
    startValues->addWidget(edit(kIdStartCycle, 40), 0, 1);
    startValues->addWidget(edit(kIdCurrentCycle, 40, true), 0, 2);
    startValues->addWidget(label("Start rotation value"), 1, 0);
    startValues->addWidget(edit(kIdStartRotation, 40), 1, 1);
    startValues->addWidget(edit(kIdCurrentRotation, 40, true), 1, 2);
    startValues->addWidget(label("Start iter value"), 2, 0);
    startValues->addWidget(edit(kIdStartIteration, 40), 2, 1);
    startValues->addWidget(edit(kIdCurrentIteration, 40, true), 2, 2);

    auto* slopes = new QHBoxLayout;
    slopes->addWidget(check(kIdSlopes, "Slope"));
    slopes->addWidget(edit(kIdSlopePower, 24));
    slopes->addWidget(label("^"));
    slopes->addWidget(edit(kIdSlopeRatio, 24));
    slopes->addWidget(label("%"));
    slopes->addStretch();

    auto* texture = new QGridLayout;
    texture->addWidget(check(kIdTexture, "Texture"), 0, 0);
    texture->addWidget(edit(kIdTextureDepth, 24), 0, 1);
    texture->addWidget(label("^"), 0, 2);
    texture->addWidget(edit(kIdTextureStrength, 24), 0, 3);
    texture->addWidget(label("%"), 0, 4);
    texture->addWidget(edit(kIdTextureFile, 0, true), 1, 0, 1, 4);
    texture->addWidget(button(kIdTextureChoose, "File..."), 1, 4, 1, 2);
    texture->addWidget(edit(kIdTextureMerge, 24), 2, 1);
    texture->addWidget(label("%"), 2, 2);
    texture->addWidget(check(kIdTextureMulti, "Multi"), 2, 3, 1, 3);

    // Output settings.
    auto* output = new QGridLayout;
    output->addWidget(label("FPS"), 0, 0);
    output->addWidget(edit(kIdFps, 30), 0, 1);
    output->addWidget(label("Frames per movie"), 1, 0);
    output->addWidget(edit(kIdFramesPerMovie, 40), 1, 1);
    output->addWidget(label("Zoom out level"), 2, 0);
    output->addWidget(combo(kIdZoomOutLevel), 2, 1);
    output->addWidget(check(kIdShowZoomText, "Show zoom text"), 3, 0);
    output->addWidget(button(kIdFont, "Font"), 3, 1);
    output->addWidget(edit(kIdFontFace, 0, true), 4, 0, 1, 2);
    output->addWidget(label("Movie length"), 5, 0);
    output->addWidget(edit(kIdMovieLength, 60, true), 5, 1);
    output->addWidget(label("Start frame"), 6, 0);
    output->addWidget(edit(kIdStartFrame, 30, false, true), 6, 1);
    output->addWidget(label("Merge Count"), 7, 0);
    output->addWidget(combo(kIdMergeCount), 7, 1);

    auto* sizes = new QGridLayout;
    sizes->addWidget(label("Frame size"), 0, 0);
    sizes->addWidget(edit(kIdFrameWidth, 30, true), 0, 1);
    sizes->addWidget(edit(kIdFrameHeight, 30, true), 0, 2);
    sizes->addWidget(label("Movie size"), 1, 0);
    sizes->addWidget(edit(kIdMovieWidth, 30), 1, 1);
    sizes->addWidget(edit(kIdMovieHeight, 30), 1, 2);

    // Colouring and run options.
    auto* coloring = new QGridLayout;
    coloring->addWidget(check(kIdSmoothColoring, "Smooth color transitions"), 0, 0, 1, 3);
    coloring->addWidget(check(kIdFixedColorCycling, "Fixed color cycling"), 1, 0, 1, 3);
    coloring->addWidget(check(kIdStopOnLastFrame, "Stop movie directly on last frame"), 2, 0, 1, 3);
    coloring->addWidget(label("Code color bits"), 3, 0);
    coloring->addWidget(combo(kIdColorBits), 3, 1);
    coloring->addWidget(combo(kIdColorMethod), 4, 0, 1, 2);
    coloring->addWidget(check(kIdLeftScrolling, "Left scrolling"), 5, 0, 1, 2);
    coloring->addWidget(button(kIdInsideColor, "M-Color"), 6, 0);
    coloring->addWidget(label("Colors"), 6, 1);
    coloring->addWidget(edit(kIdColors, 30, true), 6, 2);

    auto* runOptions = new QGridLayout;
    runOptions->addWidget(check(kIdTestOnly, "Test only"), 0, 0);
    runOptions->addWidget(check(kIdSkipRender, "Skip render"), 0, 1);
    runOptions->addWidget(check(kIdFrameByFrame, "Frame by frame"), 1, 0);
    runOptions->addWidget(check(kIdEllipticRegion, "Elliptic Region"), 1, 1);
    // Fields that no command shows.
    for (const auto& [id, caption] :
         {std::pair{kIdAspect43, "4:3"}, std::pair{kIdDivideSlopes, "Div"},
          std::pair{kIdDumpImages, "Dump imag"}}) {
        check(id, caption)->setVisible(false);
    }

    auto* settingsRow = new QHBoxLayout;
    settingsRow->addWidget(button(kIdSaveSettings, "Save settings"));
    settingsRow->addWidget(button(kIdLoadSettings, "Load settings"));

    // Bottom row: status line with the progress under it, "?", Start and Exit.
    auto* statusColumn = new QVBoxLayout;
    statusColumn->addWidget(edit(kIdStatus, 0, true));
    auto* progressRow = new QHBoxLayout;
    progressBar_ = new QProgressBar(this);
    progressBar_->setRange(0, 1);
    progressBar_->setValue(0);
    progressBar_->setFormat("%v / %m");
    progressBar_->setTextVisible(false);
    timeLeft_ = new QLabel(this);
    timeLeft_->setMinimumWidth(dialogUnitsX(this, 60));
    setControlId(progressBar_, kNoControlId);
    setControlId(timeLeft_, kNoControlId);
    progressRow->addWidget(progressBar_, 1);
    progressRow->addWidget(timeLeft_);
    statusColumn->addLayout(progressRow);
    auto* bottom = new QHBoxLayout;
    bottom->addLayout(statusColumn, 1);
    bottom->addWidget(button(kIdAbout, "?", 16), 0, Qt::AlignTop);
    QPushButton* start = button(kIdStart, "Start", 50);
    start->setDefault(true);
    start->setAutoDefault(true);
    bottom->addWidget(start, 0, Qt::AlignTop);
    bottom->addWidget(button(kIdExit, "Exit", 50), 0, Qt::AlignTop);

    // Columns.
    auto* listsLeft = new QVBoxLayout;
    listsLeft->addWidget(speed);
    listsLeft->addWidget(rotation);
    listsLeft->addWidget(cycle);
    auto* listsMiddle = new QVBoxLayout;
    listsMiddle->addWidget(division);
    listsMiddle->addWidget(colorCount);
    listsMiddle->addWidget(waves);
    auto* valuesColumn = new QVBoxLayout;
    valuesColumn->addLayout(startValues);
    valuesColumn->addLayout(slopes);
    valuesColumn->addLayout(texture);
    valuesColumn->addWidget(longWaves);
    valuesColumn->addStretch();
    auto* outputColumn = new QVBoxLayout;
    outputColumn->addLayout(output);
    outputColumn->addLayout(sizes);
    outputColumn->addLayout(coloring);
    outputColumn->addLayout(runOptions);
    outputColumn->addLayout(settingsRow);
    outputColumn->addStretch();

    auto* columns = new QHBoxLayout;
    columns->addLayout(listsLeft);
    columns->addLayout(listsMiddle);
    columns->addLayout(valuesColumn);
    columns->addLayout(outputColumn);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(folderRow);
    layout->addLayout(columns);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void MainDialog::initialise() {
    // 1. The icon and the tooltips.
    setWindowIcon(programIcon());
    tooltips_ = std::make_unique<BalloonTooltips>(this, 0, tooltipText);

    // 2. The lists.
    auto fill = [this](int id, std::initializer_list<const char*> entries, int selected) {
        auto* box = static_cast<QComboBox*>(control(id));
        for (const char* entry : entries) {
            box->addItem(entry);
        }
        box->setCurrentIndex(selected);
    };
    fill(kIdWaveType, {"Hue", "Saturation", "Brightness", "Wave(RGB)"}, -1);
    connect(static_cast<QComboBox*>(control(kIdWaveType)), &QComboBox::activated, this,
            &MainDialog::waveTypePicked);
    fill(kIdTimeType, {"Speed", "Time", "Time NS"}, 0);
    setText(kIdStartFrame, "0");
    fill(kIdColorMethod,
         {"Standard", "Square root", "Cubic root", "Logarithm", "Stretched", "Distance"}, 0);
    fill(kIdColorBits, {"24", "32"}, 0);

    // 3. The preview window, placed beside the dialog once the dialog is on the screen.
    preview_ = new PreviewWindow(this);
    preview_->setWindowIcon(windowIcon());

    // 4. FPS (which estimates the movie length) and the first speed.
    setText(kIdFps, std::to_string(movieSettings().fps));
    addLine(kIdSpeedList, "0\t25");

    // 5. Zoom out level and merge count.
    fill(kIdZoomOutLevel, {"2", "4", "8", "16", "Custom..."}, 0);
    auto* merge = static_cast<QComboBox*>(control(kIdMergeCount));
    for (int i = 0; i <= 15; ++i) {
        merge->addItem(QString::number(i));
    }
    merge->setCurrentIndex(4);

    // 6. The list controllers.
    for (ListControllerIds& ids : standardListControllers()) {
        listControllers_.emplace_back(std::move(ids));
    }

    // 7. Zoom text and smooth colouring on; the font face.
    setChecked(kIdShowZoomText, true);
    setChecked(kIdSmoothColoring, true);
    setText(kIdFontFace, movieSettings().fontFace);
}

void MainDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!previewPlaced_) {
        previewPlaced_ = true;
        placePreview();
    }
}

void MainDialog::placePreview() {
    const QRect frame = frameGeometry();
    preview_->move(frame.right() + 1, frame.top());
    preview_->show();
}

// ---------------------------------------------------------------------------------------------
// Controls

std::string MainDialog::text(int id) const {
    const QWidget* widget = control(id);
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return edit->text().toStdString();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text().toStdString();
    }
    if (const auto* box = qobject_cast<const QComboBox*>(widget)) {
        return box->currentText().toStdString();
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text().toStdString();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
        return group->title().toStdString();
    }
    return {};
}

void MainDialog::setText(int id, std::string_view text) {
    QWidget* widget = control(id);
    const QString value = toQt(text);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        if (edit->text() == value) {
            // The same text still counts as a change, as typing it would.
            editChanged(id);
        } else {
            edit->setText(value);
        }
        if (edit->isReadOnly()) {
            edit->setCursorPosition(0);
        }
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(value);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(value);
    }
}

bool MainDialog::checked(int id) const {
    const auto* button = qobject_cast<const QAbstractButton*>(control(id));
    return button != nullptr && button->isChecked();
}

void MainDialog::setChecked(int id, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(control(id))) {
        button->setChecked(checked);
    }
}

int MainDialog::selection(int id) const {
    const QWidget* widget = control(id);
    if (const auto* box = qobject_cast<const QComboBox*>(widget)) {
        return box->currentIndex();
    }
    if (const auto* list = qobject_cast<const QListWidget*>(widget)) {
        const QList<QListWidgetItem*> selected = list->selectedItems();
        return selected.isEmpty() ? -1 : list->row(selected.front());
    }
    return -1;
}

void MainDialog::setSelection(int id, int index) {
    QWidget* widget = control(id);
    if (auto* box = qobject_cast<QComboBox*>(widget)) {
        box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
        const QSignalBlocker quiet(list);
        if (index >= 0 && index < list->count()) {
            list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        } else {
            list->clearSelection();
            list->setCurrentRow(-1);
        }
    }
}

int MainDialog::entryCount(int id) const {
    const QWidget* widget = control(id);
    if (const auto* box = qobject_cast<const QComboBox*>(widget)) {
        return box->count();
    }
    if (const auto* list = qobject_cast<const QListWidget*>(widget)) {
        return list->count();
    }
    return 0;
}

std::vector<std::string> MainDialog::lines(int id) const {
    std::vector<std::string> result;
    if (const auto* list = qobject_cast<const QListWidget*>(control(id))) {
        for (int i = 0; i < list->count(); ++i) {
            result.push_back(list->item(i)->text().toStdString());
        }
    }
    return result;
}

void MainDialog::clearLines(int id) {
    if (auto* list = qobject_cast<QListWidget*>(control(id))) {
        const QSignalBlocker quiet(list);
        list->clear();
    }
}

void MainDialog::addLine(int id, std::string_view line) {
    if (auto* list = qobject_cast<QListWidget*>(control(id))) {
        const QSignalBlocker quiet(list);
        list->addItem(toQt(line));
    }
}

void MainDialog::replaceLine(int id, int index, std::string_view line) {
    auto* list = qobject_cast<QListWidget*>(control(id));
    if (list == nullptr || index < 0 || index >= list->count()) {
        return;
    }
    const QSignalBlocker quiet(list);
    delete list->takeItem(index);
    list->insertItem(index, toQt(line));
    list->clearSelection();
}

void MainDialog::removeLine(int id, int index) {
    auto* list = qobject_cast<QListWidget*>(control(id));
    if (list == nullptr || index < 0 || index >= list->count()) {
        return;
    }
    const QSignalBlocker quiet(list);
    delete list->takeItem(index);
    list->clearSelection();
}

std::optional<std::string> MainDialog::askZoomSize() {
    return zr::askZoomSize(this);
}

void MainDialog::recomputeMovieLength() {
    updateMovieLengthEstimate(*this, movieSettings().keyFrameCount, controlInt(*this, kIdFps));
}

void MainDialog::editChanged(int id) {
    if (id == kIdMovieWidth) {
        const DerivedMovieSize derived = deriveFromMovieWidth(controlInt(*this, kIdMovieWidth));
        setText(kIdMovieHeight, std::to_string(derived.height));
        setText(kIdFramesPerMovie, std::to_string(derived.framesPerMovie));
    } else if (id == kIdFps) {
        recomputeMovieLength();
    }
}

// ---------------------------------------------------------------------------------------------
// Messages and choosers

MessageAnswer MainDialog::message(const MessageRequest& request) {
    return showMessage(this, request, messageHook_);
}

bool MainDialog::chooseCompressor(CompressorChoice& choice) {
    if (compressorHook_) {
        return compressorHook_(choice);
    }
    return zr::chooseCompressor(this, choice);
}

// ---------------------------------------------------------------------------------------------
// Commands

void MainDialog::command(int id) {
    if ((id == kIdSpeedAdd || id == kIdSpeedUpdate) && !checkSpeedValue(*this)) {
        message(errorMessage(std::string(kInvalidTimeFormatText), "Invalid Format"));
        return;
    }
    if (frameButtonKeyEdits().count(id) != 0) {
        keyFrameMenu(id, keyEditOfFrameButton(id));
        return;
    }
    switch (id) {
        case kIdExit:
            done(0);
            return;
        case kIdInsideColor:
            chooseInsideColor();
            break;
        case kIdWaveSeed: {
            std::srand(static_cast<unsigned>(std::clock()) ^
                       static_cast<unsigned>(std::time(nullptr)));
            for (const std::string& line : randomWaveLines([] { return std::rand(); })) {
                addLine(kIdWaveList, line);
            }
            break;
        }
        case kIdTest:
            testKeyFrame();
            break;
        case kIdTextureChoose:
            chooseTextureFile();
            break;
        case kIdSaveSettings:
            saveSettings();
            break;
        case kIdLoadSettings:
            loadSettings();
            break;
        case kIdLongWaveColor:
            chooseLongWaveColor();
            break;
        case kIdBrowseFolder:
            browseFolder();
            break;
        case kIdWavePrime:
            setText(kIdWavePeriod,
                    std::to_string(nearestPrimeAtOrBelow(readUnsigned(text(kIdWavePeriod)))));
            break;
        case kIdStart:
            startOrStop();
            return;
        case kIdShowZoomText:
            showZoomTextPressed();
            break;
        case kIdFont:
            chooseFont();
            break;
        case kIdAbout:
            showAbout();
            break;
        default:
            break;
    }
    for (const ListController& controller : listControllers_) {
        if (controller.press(*this, id) == ListAction::changed) {
            if (auto* key = qobject_cast<QLineEdit*>(control(controller.ids().key))) {
                key->setFocus();
                key->selectAll();
            }
        }
    }
    if (id == kIdSpeedAdd || id == kIdSpeedUpdate || id == kIdSpeedRemove) {
        recomputeMovieLength();
    }
}

void MainDialog::listSelectionChanged(int listBoxId) {
    if (listBoxId == kIdWaveList) {
        const int selected = selection(kIdWaveList);
        const std::vector<std::string> waveLines = lines(kIdWaveList);
        if (selected >= 0 && selected < static_cast<int>(waveLines.size())) {
            const int entry = waveTypeEntry(waveLines[selected]);
            if (entry >= 0) {
                setSelection(kIdWaveType, entry);
            }
        }
    }
    for (const ListController& controller : listControllers_) {
        if (controller.ids().listBox == listBoxId) {
            controller.fillFromSelection(*this);
        }
    }
}

void MainDialog::waveTypePicked(int entry) {
    const std::string letter = waveTypeLetter(entry);
    if (!letter.empty()) {
        setText(kIdWaveTypeLetter, letter);
    }
}

void MainDialog::reject() {
    done(0);
}

int MainDialog::keyEditOfFrameButton(int buttonId) const {
    const auto found = frameButtonKeyEdits().find(buttonId);
    return found == frameButtonKeyEdits().end() ? 0 : found->second;
}

void MainDialog::keyFrameMenu(int buttonId, int keyEditId) {
    QWidget* button = control(buttonId);
    QMenu menu(this);
    const std::vector<std::string>& entries = keyFrameMenuEntries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        menu.addAction(QString::fromStdString(entries[i]))->setData(static_cast<int>(i));
    }
    const QAction* chosen = menu.exec(button->mapToGlobal(button->rect().bottomLeft()));
    if (chosen == nullptr) {
        return;
    }
    const int entry = chosen->data().toInt();
    if (entry == kKeyFrameMenuFromFileName) {
        const int number = askFileNameNumber(this);
        if (number >= 0) {
            applyKeyFrameMenu(keyEditId, entry, number);
        }
        return;
    }
    applyKeyFrameMenu(keyEditId, entry);
}

void MainDialog::applyKeyFrameMenu(int keyEditId, int entry, int fileNumber) {
    const int keyFrameCount = movieSettings().keyFrameCount;
    if (entry != kKeyFrameMenuFromFileName) {
        setText(keyEditId, std::to_string(keyFrameMenuValue(entry, keyFrameCount)));
        return;
    }
    const std::optional<int> keyFrame = keyFrameFromFileNumber(fileNumber, keyFrameCount);
    if (!keyFrame) {
        message(errorMessage("Number not in the range of key-frames"));
        return;
    }
    setText(keyEditId, std::to_string(*keyFrame));
}

void MainDialog::showZoomTextPressed() {
    if (!checked(kIdShowZoomText)) {
        const MessageAnswer answer = message(MessageRequest{
            "What??",
            "Are you sure you want to turn off the display of the Zoom?\n\nOne of the "
            "fascinating things with Mandelbrot fractals is that they are truly infinite.\n"
            "Another fascinating thing is that the patterns of the path are repeating every "
            "half distance to a Minibrot. The connection between the zoom level and the "
            "pattern will not be as clear with this feature turned off. You may proceed if "
            "you want, but I recommend you to keep the display of the zoom turned on",
            MessageIcon::question, MessageButtons::yesNo});
        if (answer == MessageAnswer::no) {
            setChecked(kIdShowZoomText, true);
        }
    } else {
        message(MessageRequest{"Thanks", "Thanks for your wise decision", MessageIcon::information,
                               MessageButtons::ok});
    }
    control(kIdFont)->setEnabled(checked(kIdShowZoomText));
}

void MainDialog::chooseInsideColor() {
    if (const std::optional<QColor> color =
            pickColor(this, fromColorRef(movieSettings().insideColor), insideCustomColors_)) {
        movieSettings().insideColor = colorRef(*color);
    }
}

void MainDialog::chooseLongWaveColor() {
    int parts[3] = {0, 0, 0};
    const QStringList cells = QString::fromStdString(text(kIdLongWaveColorText)).split(',');
    for (int i = 0; i < 3 && i < cells.size(); ++i) {
        parts[i] = readInt(cells[i].toStdString()) & 0xff;
    }
    if (const std::optional<QColor> color =
            pickColor(this, QColor(parts[0], parts[1], parts[2]), longWaveCustomColors_)) {
        setText(kIdLongWaveColorText, std::to_string(color->red()) + "," +
                                          std::to_string(color->green()) + "," +
                                          std::to_string(color->blue()));
    }
}

void MainDialog::chooseTextureFile() {
    const std::optional<std::string> file =
        chooseFile(this, true, "Select Background Image", "Jpeg images", "*.jpg;*.jpeg",
                   movieSettings().textureFile);
    if (!file) {
        return;
    }
    if (file->size() > kMaxPathLength) {
        message(errorMessage("The path of the picture is longer than " +
                             std::to_string(kMaxPathLength) + " characters:\n" + *file +
                             "\nMove the picture to a folder with a shorter path."));
        return;
    }
    movieSettings().textureFile = *file;
    setText(kIdTextureFile, *file);
}

void MainDialog::chooseFont() {
    bool ok = false;
    const QFont start(QString::fromStdString(movieSettings().fontFace));
    const QFont font = QFontDialog::getFont(&ok, start, this);
    if (!ok) {
        return;
    }
    const std::string face = font.family().toStdString().substr(0, kMaxFontFaceLength);
    movieSettings().fontFace = face;
    setText(kIdFontFace, face);
}

void MainDialog::showAbout() {
    message(MessageRequest{"About Zoomreel", aboutText(), MessageIcon::information,
                           MessageButtons::ok});
}

void MainDialog::browseFolder() {
    const std::optional<std::string> folder = folderBrowser_.browse(this, text(kIdDirectory));
    if (folder) {
        chooseFolder(*folder);
    }
}

void MainDialog::chooseFolder(const std::string& folder) {
    const FolderChoiceResult result = chooseKeyFrameFolder(*this, folder);
    if (!result.ok) {
        message(errorMessage(result.message));
    }
}

void MainDialog::saveSettings() {
    if (const std::optional<std::string> path =
            chooseFile(this, false, "Save settings", "Zoomreel file", "*.zrs", "")) {
        saveSettingsTo(*path);
    }
}

void MainDialog::loadSettings() {
    if (const std::optional<std::string> path =
            chooseFile(this, true, "Load settings", "Zoomreel file", "*.zrs", "")) {
        loadSettingsFrom(*path);
    }
}

bool MainDialog::saveSettingsTo(const std::string& path) {
    const SettingsFileResult result = saveSettingsFile(*this, path);
    if (!result.ok) {
        message(errorMessage(result.error));
    }
    return result.ok;
}

bool MainDialog::loadSettingsFrom(const std::string& path) {
    const SettingsFileResult result = loadSettingsFile(*this, path);
    if (!result.ok) {
        message(errorMessage(result.error));
        return false;
    }
    for (const std::string& note : result.notes) {
        message(errorMessage(note));
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Start, Stop and Test

bool MainDialog::runInProgress() const {
    return movieSettings().running != 0;
}

void MainDialog::reapFinishedRuns() {
    for (auto run = runs_.begin(); run != runs_.end();) {
        if (*run->done) {
            run->thread.join();
            run = runs_.erase(run);
        } else {
            ++run;
        }
    }
}

void MainDialog::startOrStop() {
    MovieSettings& settings = movieSettings();
    if (settings.running) {
        settings.stopRequested = 1;
        return;
    }
    const StartConversionResult converted = convertForStart(*this);
    if (!converted.ok) {
        if (QWidget* focus = control(converted.focusControl)) {
            focus->setFocus();
        }
        message(errorMessage(converted.message));
        return;
    }
    reapFinishedRuns();
    settings.running = 1;
    setText(kIdStart, "Stop");
    progressBar_->setRange(0, 1);
    progressBar_->setValue(0);
    timeLeft_->clear();
    runStart_ = std::chrono::steady_clock::now();
    auto done = std::make_shared<std::atomic<bool>>(false);
    GuiRenderHost* host = host_.get();
    runs_.push_back(RenderRun{std::thread([host, done] {
                                  renderJobMain(*host);
                                  *done = true;
                              }),
                              done});
}

void MainDialog::renderFinished() {
    MovieSettings& settings = movieSettings();
    settings.running = 0;
    settings.stopRequested = 0;
    setText(kIdStart, "Start");
    timeLeft_->clear();
}

void MainDialog::showProgress(long long framesDone, long long framesPlanned) {
    // The bar counts in thousandths when the totals exceed what it holds.
    const long long planned = std::max(1LL, framesPlanned);
    const long long done = std::clamp(framesDone, 0LL, planned);
    const int scale = planned > 1000000000LL ? 1000 : 1;
    progressBar_->setTextVisible(true);
    progressBar_->setRange(0, static_cast<int>(planned / scale));
    progressBar_->setValue(static_cast<int>(done / scale));
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart_).count();
    if (done > 0 && done < planned) {
        const auto left = static_cast<long long>(elapsed * (planned - done) / done);
        timeLeft_->setText(QString::fromStdString(formatTimeLeft(left)));
    } else {
        timeLeft_->clear();
    }
}

void MainDialog::testKeyFrame() {
    if (runInProgress()) {
        return;
    }
    setText(kIdTest, "...");
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const TestKeyFrameResult result = zr::testKeyFrame(*this, testSlope_, host_.get());
    if (result.image) {
        preview_->showFrame(*result.image);
    } else {
        message(errorMessage(result.message));
    }
    setText(kIdTest, "Test");
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
