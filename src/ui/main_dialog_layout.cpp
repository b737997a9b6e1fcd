// Where every control of the main dialog goes: the folder row; four columns (three key frame
// lists; two key frame lists and the waves; start values, texture, long waves and sizes; output,
// colouring and run options); and the status row at the bottom. Spacing is a quarter of a line
// throughout, so the dialog keeps its proportions with any font and DPI.

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "settings/controls.h"
#include "ui/main_dialog.h"
#include "ui/main_dialog_widgets.h"
#include "ui/widget_helpers.h"

namespace zr {

namespace {

// The widest values the program writes into its fields.
constexpr const char* kWidestPictureSide = "00000";
constexpr const char* kWidestFramesPerMovie = "1037000000";
constexpr const char* kWidestStartValue = "-000.000";
constexpr const char* kWidestCurrentCycle = "-0000.000000";
constexpr const char* kWidestMovieLength = "000:00:00.000";
constexpr const char* kWidestFps = "0000";
constexpr const char* kWidestPercent = "000";
constexpr const char* kWidestPeriod = "000000";
constexpr const char* kWidestColor = "255,255,255";

int spacingOf(const QWidget* dialog) {
    return dialog->fontMetrics().height() / 4;
}

QGridLayout* grid(const QWidget* dialog) {
    auto* layout = new QGridLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacingOf(dialog));
    return layout;
}

QVBoxLayout* column(const QWidget* dialog) {
    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacingOf(dialog));
    return layout;
}

QHBoxLayout* row(const QWidget* dialog) {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacingOf(dialog));
    return layout;
}

QGroupBox* wavesGroup(DialogWidgets& make) {
    QGroupBox* waves = make.group(kIdWaveGroup, "");
    auto* layout = new QGridLayout(waves);
    compactGroupLayout(layout);
    layout->addWidget(make.check(kIdWaveColoring, "Wave coloring"), 0, 0, 1, 2);
    layout->addWidget(make.button(kIdTest, "Test"), 0, 2, 1, 2);
    layout->addWidget(make.label("Type"), 1, 0);
    layout->addWidget(make.combo(kIdWaveType), 1, 1, 1, 3);
    layout->addWidget(make.label("Period", kIdWavePeriodLabel), 2, 0);
    layout->addWidget(make.edit(kIdWavePeriod, kWidestPeriod), 2, 1);
    layout->addWidget(make.button(kIdWavePrime, "P"), 2, 2);
    layout->addWidget(make.button(kIdWaveSeed, "Seed"), 2, 3);
    QLineEdit* letter = make.edit(kIdWaveTypeLetter, nullptr);
    letter->setVisible(false);
    layout->addWidget(make.listBox(kIdWaveList, kListHeightUnits, false), 3, 0, 1, 4);
    layout->addLayout(make.buttonRow(kIdWaveAdd, kIdWaveUpdate, kIdWaveRemove), 4, 0, 1, 4);
    return waves;
}

QGroupBox* longWavesGroup(DialogWidgets& make) {
    QGroupBox* longWaves = make.group(kIdLongWaveGroup, "Long waves");
    auto* layout = new QGridLayout(longWaves);
    compactGroupLayout(layout);
    layout->addWidget(make.button(kIdLongWaveColor, "Color"), 0, 0);
    layout->addWidget(make.edit(kIdLongWaveColorText, kWidestColor, false, true), 0, 1, 1, 3);
    layout->addWidget(make.label("Period"), 1, 0);
    layout->addWidget(make.edit(kIdLongWavePeriod, kWidestPeriod), 1, 1);
    layout->addWidget(make.label("Percent"), 1, 2);
    layout->addWidget(make.edit(kIdLongWavePercent, kWidestPercent), 1, 3);
    layout->addWidget(make.listBox(kIdLongWaveList, kListHeightUnits, false), 2, 0, 1, 4);
    layout->addLayout(make.buttonRow(kIdLongWaveAdd, kIdLongWaveUpdate, kIdLongWaveRemove), 3, 0, 1,
                      4);
    return longWaves;
}

// Start values with the current values beside them, the slopes, the texture, the long waves
// and the sizes.
QVBoxLayout* valuesColumn(DialogWidgets& make, const QWidget* dialog) {
    QGridLayout* startValues = grid(dialog);
    startValues->addWidget(make.label("Start cycle value"), 0, 0);
    startValues->addWidget(make.edit(kIdStartCycle, kWidestStartValue), 0, 1);
    startValues->addWidget(make.edit(kIdCurrentCycle, kWidestCurrentCycle, true), 0, 2);
    startValues->addWidget(make.label("Start rotation value"), 1, 0);
    startValues->addWidget(make.edit(kIdStartRotation, kWidestStartValue), 1, 1);
    startValues->addWidget(make.edit(kIdCurrentRotation, kWidestCurrentCycle, true), 1, 2);
    startValues->addWidget(make.label("Start iter value"), 2, 0);
    startValues->addWidget(make.edit(kIdStartIteration, kWidestStartValue), 2, 1);
    startValues->addWidget(make.edit(kIdCurrentIteration, kWidestCurrentCycle, true), 2, 2);

    QHBoxLayout* slopes = row(dialog);
    slopes->addWidget(make.check(kIdSlopes, "Slope"));
    slopes->addWidget(make.edit(kIdSlopePower, kWidestPercent));
    slopes->addWidget(make.label("^"));
    slopes->addWidget(make.edit(kIdSlopeRatio, kWidestPercent));
    slopes->addWidget(make.label("%"));
    slopes->addStretch();

    QGridLayout* texture = grid(dialog);
    texture->addWidget(make.check(kIdTexture, "Texture"), 0, 0);
    texture->addWidget(make.edit(kIdTextureDepth, kWidestPercent), 0, 1);
    texture->addWidget(make.label("^"), 0, 2);
    texture->addWidget(make.edit(kIdTextureStrength, kWidestPercent), 0, 3);
    texture->addWidget(make.label("%"), 0, 4);
    texture->addWidget(make.edit(kIdTextureFile, nullptr, true), 1, 0, 1, 6);
    texture->addWidget(make.button(kIdTextureChoose, "File..."), 1, 6);
    texture->addWidget(make.edit(kIdTextureMerge, kWidestPercent), 2, 1);
    texture->addWidget(make.label("%"), 2, 2);
    texture->addWidget(make.check(kIdTextureMulti, "Multi"), 2, 3, 1, 3);
    texture->setColumnStretch(5, 1);

    QVBoxLayout* layout = column(dialog);
    layout->addLayout(startValues);
    layout->addLayout(slopes);
    layout->addLayout(texture);
    layout->addWidget(longWavesGroup(make));
    return layout;
}

// The sizes, and the colour count (or the colour range of a key frame, or the stretch range)
// that a run shows.
QGridLayout* sizesGrid(DialogWidgets& make, const QWidget* dialog) {
    QGridLayout* sizes = grid(dialog);
    sizes->addWidget(make.label("Frame size"), 0, 0);
    sizes->addWidget(make.edit(kIdFrameWidth, kWidestPictureSide, true), 0, 1);
    sizes->addWidget(make.edit(kIdFrameHeight, kWidestPictureSide, true), 0, 2);
    sizes->addWidget(make.label("Movie size"), 1, 0);
    sizes->addWidget(make.edit(kIdMovieWidth, kWidestPictureSide), 1, 1);
    sizes->addWidget(make.edit(kIdMovieHeight, kWidestPictureSide), 1, 2);
    sizes->addWidget(make.label("Colors"), 2, 0);
    sizes->addWidget(make.edit(kIdColors, nullptr, true), 2, 1, 1, 3);
    sizes->setColumnStretch(3, 1);
    return sizes;
}

// Output settings, colouring and run options.
QVBoxLayout* outputColumn(DialogWidgets& make, const QWidget* dialog) {
    QGridLayout* output = grid(dialog);
    output->addWidget(make.label("FPS"), 0, 0);
    output->addWidget(make.edit(kIdFps, kWidestFps), 0, 1);
    output->addWidget(make.label("Frames per movie"), 1, 0);
    output->addWidget(make.edit(kIdFramesPerMovie, kWidestFramesPerMovie), 1, 1);
    output->addWidget(make.label("Zoom out level"), 2, 0);
    output->addWidget(make.combo(kIdZoomOutLevel), 2, 1);
    output->addWidget(make.check(kIdShowZoomText, "Show zoom text"), 3, 0);
    output->addWidget(make.button(kIdFont, "Font"), 3, 1);
    output->addWidget(make.edit(kIdFontFace, nullptr, true), 4, 0, 1, 3);
    output->addWidget(make.label("Movie length"), 5, 0);
    output->addWidget(make.edit(kIdMovieLength, kWidestMovieLength, true), 5, 1);
    output->addWidget(make.label("Start frame"), 6, 0);
    output->addWidget(make.edit(kIdStartFrame, kWidestPictureSide, false, true), 6, 1);
    output->addWidget(make.label("Merge Count"), 7, 0);
    output->addWidget(make.combo(kIdMergeCount), 7, 1);
    output->setColumnStretch(2, 1);

    QGridLayout* coloring = grid(dialog);
    coloring->addWidget(make.check(kIdSmoothColoring, "Smooth color transitions"), 0, 0, 1, 3);
    coloring->addWidget(make.check(kIdFixedColorCycling, "Fixed color cycling"), 1, 0, 1, 3);
    coloring->addWidget(make.check(kIdStopOnLastFrame, "Stop movie directly on last frame"), 2, 0,
                        1, 3);
    QHBoxLayout* bits = row(dialog);
    bits->addWidget(make.label("Code color bits"));
    bits->addWidget(make.combo(kIdColorBits));
    bits->addStretch();
    bits->addWidget(make.button(kIdInsideColor, "M-Color"));
    coloring->addLayout(bits, 3, 0, 1, 2);
    coloring->addWidget(make.combo(kIdColorMethod), 4, 0);
    coloring->addWidget(make.check(kIdLeftScrolling, "Left scrolling"), 4, 1);
    coloring->setColumnStretch(1, 1);

    QGridLayout* runOptions = grid(dialog);
    runOptions->addWidget(make.check(kIdTestOnly, "Test only"), 0, 0);
    runOptions->addWidget(make.check(kIdSkipRender, "Skip render"), 0, 1);
    runOptions->addWidget(make.check(kIdFrameByFrame, "Frame by frame"), 1, 0);
    runOptions->addWidget(make.check(kIdEllipticRegion, "Elliptic Region"), 1, 1);
    runOptions->addWidget(make.check(kIdSubpixelZoom, "Sub-pixel zoom"), 2, 0);
    QHBoxLayout* supersample = row(dialog);
    supersample->addWidget(make.label("Supersample"));
    supersample->addWidget(make.edit(kIdSupersample, "00", false, true));
    supersample->addStretch();
    runOptions->addLayout(supersample, 2, 1);
    // Fields that no command shows.
    for (const auto& [id, caption] :
         {std::pair{kIdAspect43, "4:3"}, std::pair{kIdDivideSlopes, "Div"},
          std::pair{kIdDumpImages, "Dump imag"}}) {
        make.check(id, caption)->setVisible(false);
    }

    QVBoxLayout* layout = column(dialog);
    layout->addLayout(output);
    layout->addLayout(coloring);
    layout->addLayout(runOptions);
    layout->addStretch();
    return layout;
}

}  // namespace

// Bottom row: the status line, the progress and the time left, "?", Start and Exit.
QHBoxLayout* MainDialog::buildStatusRow(DialogWidgets& make) {
    QHBoxLayout* bottom = row(this);
    QLineEdit* status = make.edit(kIdStatus, nullptr, true);
    status->setFocusPolicy(Qt::ClickFocus);  // read by eye; Tab goes on to "?", Start and Exit
    bottom->addWidget(status, 3);
    progressBar_ = new QProgressBar(this);
    progressBar_->setRange(0, 1);
    progressBar_->setValue(0);
    progressBar_->setFormat("%v / %m");
    progressBar_->setTextVisible(false);
    progressBar_->setMinimumWidth(fontMetrics().horizontalAdvance("00000000 / 00000000"));
    timeLeft_ = new QLabel(this);
    timeLeft_->setMinimumWidth(fontMetrics().horizontalAdvance("0000:00:00 left"));
    setControlId(progressBar_, kNoControlId);
    setControlId(timeLeft_, kNoControlId);
    bottom->addWidget(progressBar_, 1);
    bottom->addWidget(timeLeft_);
    bottom->addWidget(make.button(kIdAbout, "?"));
    QPushButton* start = make.button(kIdStart, "Start");
    QPushButton* exit = make.button(kIdExit, "Exit");
    for (QPushButton* button : {start, exit}) {
        button->setMinimumWidth(dialogUnitsX(this, 40));
    }
    start->setDefault(true);
    start->setAutoDefault(true);
    bottom->addWidget(start);
    bottom->addWidget(exit);
    return bottom;
}

// The settings scroll when the screen is too small for them; the status row with Start and Exit
// stays in view below them.
void MainDialog::placeSettingsAndStatusRow(DialogWidgets& make, QHBoxLayout* folder,
                                           QHBoxLayout* columns) {
    const int gap = 2 * spacingOf(this);
    settingsPane_ = new QWidget;
    auto* paneLayout = new QVBoxLayout(settingsPane_);
    paneLayout->setContentsMargins(gap, gap, gap, 0);
    paneLayout->setSpacing(gap);
    paneLayout->addLayout(folder);
    paneLayout->addLayout(columns);
    paneLayout->setSizeConstraint(QLayout::SetFixedSize);  // the settings keep their own size
    settingsScroll_ = new QScrollArea(this);
    settingsScroll_->setFrameShape(QFrame::NoFrame);
    settingsScroll_->setFocusPolicy(Qt::NoFocus);
    settingsScroll_->setWidgetResizable(true);
    settingsScroll_->setWidget(settingsPane_);
    // The widgets laid out in the pane went to the end of the focus chain with the pane, in the
    // order of the layout, which is the order of reading: the status row is made after them.
    QHBoxLayout* bottom = buildStatusRow(make);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, gap);
    layout->setSpacing(gap);
    layout->addWidget(settingsScroll_);
    bottom->setContentsMargins(gap, 0, gap, 0);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    fitToScreen(QRect());
}

void MainDialog::buildLayout() {
    DialogWidgets make(*this);
    // The focus goes through the widgets in the order they are laid out.
    QHBoxLayout* folder = row(this);
    folder->addWidget(make.label("Directory"));
    folder->addWidget(make.edit(kIdDirectory, nullptr), 3);
    folder->addWidget(make.button(kIdBrowseFolder, "..."));
    // The movie file and its soundtrack; the codec the compressor dialog chooses is kept in
    // fields that are not shown.
    folder->addSpacing(2 * spacingOf(this));
    folder->addWidget(make.label("Movie file"));
    QLineEdit* movieFile = make.edit(kIdMovieFile, nullptr);
    movieFile->setPlaceholderText("film.avi");
    folder->addWidget(movieFile, 2);
    folder->addWidget(make.button(kIdMovieFileChoose, "File..."));
    folder->addSpacing(2 * spacingOf(this));
    folder->addWidget(make.button(kIdSoundChoose, "Sound..."));
    folder->addWidget(make.edit(kIdSoundFile, nullptr), 2);
    folder->addWidget(make.label("Offset"));
    folder->addWidget(make.edit(kIdSoundOffset, kWidestStartValue));
    for (const int id : {kIdVideoCodec, kIdCrf, kIdPreset, kIdPixelFormat}) {
        make.edit(id, nullptr)->setVisible(false);
    }

    // The five key frame lists.
    QComboBox* timeType = make.combo(kIdTimeType);
    QGroupBox* speed = make.keyFrameListGroup(kIdSpeedGroup, "Speed control", kIdSpeedFrameNum,
                                              kIdSpeedKey, timeType, kIdSpeedValue, kIdSpeedList,
                                              kIdSpeedAdd, kIdSpeedUpdate, kIdSpeedRemove);
    QGroupBox* rotation = make.keyFrameListGroup(
        kIdRotateGroup, "Rotation control", kIdRotateFrameNum, kIdRotateKey, make.label("Rotation"),
        kIdRotateValue, kIdRotateList, kIdRotateAdd, kIdRotateUpdate, kIdRotateRemove);
    QGroupBox* cycle =
        make.keyFrameListGroup(kIdCycleGroup, "Color cycle control", kIdCycleFrameNum, kIdCycleKey,
                               make.label("Cyckle speed"), kIdCycleValue, kIdCycleList, kIdCycleAdd,
                               kIdCycleUpdate, kIdCycleRemove);
    QGroupBox* division =
        make.keyFrameListGroup(kIdDivideGroup, "Color division control", kIdDivideFrameNum,
                               kIdDivideKey, make.label("Division"), kIdDivideValue, kIdDivideList,
                               kIdDivideAdd, kIdDivideUpdate, kIdDivideRemove);
    QGroupBox* colorCount = make.keyFrameListGroup(
        kIdColorCountGroup, "Number of colors control", kIdColorCountFrameNum, kIdColorCountKey,
        make.label("Colors", kIdColorCountLabel), kIdColorCountValue, kIdColorCountList,
        kIdColorCountAdd, kIdColorCountUpdate, kIdColorCountRemove);
    QGroupBox* waves = wavesGroup(make);

    QVBoxLayout* values = valuesColumn(make, this);
    values->addLayout(sizesGrid(make, this));
    QHBoxLayout* settingsRow = row(this);
    settingsRow->addWidget(make.button(kIdSaveSettings, "Save settings"));
    settingsRow->addWidget(make.button(kIdLoadSettings, "Load settings"));
    values->addStretch();
    values->addLayout(settingsRow);
    QVBoxLayout* output = outputColumn(make, this);

    QVBoxLayout* listsLeft = column(this);
    listsLeft->addWidget(speed);
    listsLeft->addWidget(rotation);
    listsLeft->addWidget(cycle);
    listsLeft->addStretch();
    QVBoxLayout* listsMiddle = column(this);
    listsMiddle->addWidget(division);
    listsMiddle->addWidget(colorCount);
    listsMiddle->addWidget(waves);
    listsMiddle->addStretch();

    const int gap = 2 * spacingOf(this);
    QHBoxLayout* columns = row(this);
    columns->setSpacing(gap);
    columns->addLayout(listsLeft);
    columns->addLayout(listsMiddle);
    columns->addLayout(values);
    columns->addLayout(output);

    placeSettingsAndStatusRow(make, folder, columns);

    // The speed type list sits under the key edit: the focus reaches it after the key edit.
    setTabOrder(control(kIdSpeedKey), timeType);
    setTabOrder(timeType, control(kIdSpeedValue));
}

}  // namespace zr

namespace zr {

void MainDialog::fitToScreen(const QRect& available) {
    // The settings at their own size, unless the screen's available area (less the window's
    // frame and the status row) is smaller: then they scroll, with a scroll bar taking room of
    // its own.
    const QSize pane = settingsPane_->sizeHint();
    QSize size = pane;
    if (!available.isEmpty()) {
        QSize frame = frameGeometry().size() - this->size();
        if (frame.isNull() && QGuiApplication::platformName() != "offscreen") {
            // The window system has not framed the dialog yet: leave room for a title bar.
            frame = QSize(0, 2 * fontMetrics().height());
        }
        const QMargins margins = layout()->contentsMargins();
        const int below = layout()->spacing() + layout()->itemAt(1)->sizeHint().height() +
                          margins.top() + margins.bottom();
        const QSize room(available.width() - frame.width() - margins.left() - margins.right(),
                         available.height() - frame.height() - below);
        const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        const bool tooTall = pane.height() > room.height();
        const bool tooWide = pane.width() + (tooTall ? scrollBar : 0) > room.width();
        size.setWidth(std::min(pane.width() + (tooTall ? scrollBar : 0), room.width()));
        size.setHeight(std::min(pane.height() + (tooWide ? scrollBar : 0), room.height()));
    }
    settingsScroll_->setFixedSize(size.expandedTo(QSize(1, 1)));
    adjustSize();
}

}  // namespace zr
