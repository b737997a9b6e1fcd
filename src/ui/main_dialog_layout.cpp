// Where every control of the main dialog goes: the folder row, four columns of group boxes
// and fields, and the status row at the bottom.

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "settings/controls.h"
#include "ui/main_dialog.h"
#include "ui/main_dialog_widgets.h"
#include "ui/widget_helpers.h"

namespace zr {

namespace {

QHBoxLayout* folderRow(DialogWidgets& make) {
    auto* row = new QHBoxLayout;
    row->addWidget(make.label("Directory"));
    row->addWidget(make.edit(kIdDirectory, 0), 1);
    row->addWidget(make.button(kIdBrowseFolder, "...", 16));
    return row;
}

QGroupBox* wavesGroup(DialogWidgets& make) {
    QGroupBox* waves = make.group(kIdWaveGroup, "");
    auto* layout = new QGridLayout(waves);
    layout->addWidget(make.check(kIdWaveColoring, "Wave coloring"), 0, 0, 1, 2);
    layout->addWidget(make.button(kIdTest, "Test"), 0, 2, 1, 2);
    layout->addWidget(make.label("Type"), 1, 0);
    layout->addWidget(make.combo(kIdWaveType), 1, 1, 1, 3);
    layout->addWidget(make.label("Period", kIdWavePeriodLabel), 2, 0);
    layout->addWidget(make.edit(kIdWavePeriod, 36), 2, 1, 1, 2);
    layout->addWidget(make.button(kIdWavePrime, "P", 14), 2, 3);
    QLineEdit* letter = make.edit(kIdWaveTypeLetter, 0);
    letter->setVisible(false);
    layout->addWidget(make.listBox(kIdWaveList, 0), 3, 0, 1, 4);
    auto* buttons = make.buttonRow(kIdWaveAdd, kIdWaveUpdate, kIdWaveRemove);
    buttons->addWidget(make.button(kIdWaveSeed, "Seed"));
    layout->addLayout(buttons, 4, 0, 1, 4);
    return waves;
}

QGroupBox* longWavesGroup(DialogWidgets& make) {
    QGroupBox* longWaves = make.group(kIdLongWaveGroup, "Long waves");
    auto* layout = new QGridLayout(longWaves);
    layout->addWidget(make.button(kIdLongWaveColor, "Color"), 0, 0);
    layout->addWidget(make.edit(kIdLongWaveColorText, 0, false, true), 0, 1, 1, 3);
    layout->addWidget(make.label("Period"), 1, 0);
    layout->addWidget(make.edit(kIdLongWavePeriod, 30), 1, 1);
    layout->addWidget(make.label("Percent"), 1, 2);
    layout->addWidget(make.edit(kIdLongWavePercent, 24), 1, 3);
    layout->addWidget(make.listBox(kIdLongWaveList, 0), 2, 0, 1, 4);
    layout->addLayout(make.buttonRow(kIdLongWaveAdd, kIdLongWaveUpdate, kIdLongWaveRemove), 3, 0, 1,
                      4);
    return longWaves;
}

// Start values with the current values beside them, the slopes, the texture and the long waves.
QVBoxLayout* valuesColumn(DialogWidgets& make, QGroupBox* longWaves) {
    auto* startValues = new QGridLayout;
    startValues->addWidget(make.label("Start cycle value"), 0, 0);
    startValues->addWidget(make.edit(kIdStartCycle, 40), 0, 1);
    startValues->addWidget(make.edit(kIdCurrentCycle, 40, true), 0, 2);
    startValues->addWidget(make.label("Start rotation value"), 1, 0);
    startValues->addWidget(make.edit(kIdStartRotation, 40), 1, 1);
    startValues->addWidget(make.edit(kIdCurrentRotation, 40, true), 1, 2);
    startValues->addWidget(make.label("Start iter value"), 2, 0);
    startValues->addWidget(make.edit(kIdStartIteration, 40), 2, 1);
    startValues->addWidget(make.edit(kIdCurrentIteration, 40, true), 2, 2);

    auto* slopes = new QHBoxLayout;
    slopes->addWidget(make.check(kIdSlopes, "Slope"));
    slopes->addWidget(make.edit(kIdSlopePower, 24));
    slopes->addWidget(make.label("^"));
    slopes->addWidget(make.edit(kIdSlopeRatio, 24));
    slopes->addWidget(make.label("%"));
    slopes->addStretch();

    auto* texture = new QGridLayout;
    texture->addWidget(make.check(kIdTexture, "Texture"), 0, 0);
    texture->addWidget(make.edit(kIdTextureDepth, 24), 0, 1);
    texture->addWidget(make.label("^"), 0, 2);
    texture->addWidget(make.edit(kIdTextureStrength, 24), 0, 3);
    texture->addWidget(make.label("%"), 0, 4);
    texture->addWidget(make.edit(kIdTextureFile, 0, true), 1, 0, 1, 4);
    texture->addWidget(make.button(kIdTextureChoose, "File..."), 1, 4, 1, 2);
    texture->addWidget(make.edit(kIdTextureMerge, 24), 2, 1);
    texture->addWidget(make.label("%"), 2, 2);
    texture->addWidget(make.check(kIdTextureMulti, "Multi"), 2, 3, 1, 3);

    auto* column = new QVBoxLayout;
    column->addLayout(startValues);
    column->addLayout(slopes);
    column->addLayout(texture);
    column->addWidget(longWaves);
    column->addStretch();
    return column;
}

// Output settings, sizes, colouring, run options and the settings file buttons.
QVBoxLayout* outputColumn(DialogWidgets& make) {
    auto* output = new QGridLayout;
    output->addWidget(make.label("FPS"), 0, 0);
    output->addWidget(make.edit(kIdFps, 30), 0, 1);
    output->addWidget(make.label("Frames per movie"), 1, 0);
    output->addWidget(make.edit(kIdFramesPerMovie, 40), 1, 1);
    output->addWidget(make.label("Zoom out level"), 2, 0);
    output->addWidget(make.combo(kIdZoomOutLevel), 2, 1);
    output->addWidget(make.check(kIdShowZoomText, "Show zoom text"), 3, 0);
    output->addWidget(make.button(kIdFont, "Font"), 3, 1);
    output->addWidget(make.edit(kIdFontFace, 0, true), 4, 0, 1, 2);
    output->addWidget(make.label("Movie length"), 5, 0);
    output->addWidget(make.edit(kIdMovieLength, 60, true), 5, 1);
    output->addWidget(make.label("Start frame"), 6, 0);
    output->addWidget(make.edit(kIdStartFrame, 30, false, true), 6, 1);
    output->addWidget(make.label("Merge Count"), 7, 0);
    output->addWidget(make.combo(kIdMergeCount), 7, 1);

    auto* sizes = new QGridLayout;
    sizes->addWidget(make.label("Frame size"), 0, 0);
    sizes->addWidget(make.edit(kIdFrameWidth, 30, true), 0, 1);
    sizes->addWidget(make.edit(kIdFrameHeight, 30, true), 0, 2);
    sizes->addWidget(make.label("Movie size"), 1, 0);
    sizes->addWidget(make.edit(kIdMovieWidth, 30), 1, 1);
    sizes->addWidget(make.edit(kIdMovieHeight, 30), 1, 2);

    auto* coloring = new QGridLayout;
    coloring->addWidget(make.check(kIdSmoothColoring, "Smooth color transitions"), 0, 0, 1, 3);
    coloring->addWidget(make.check(kIdFixedColorCycling, "Fixed color cycling"), 1, 0, 1, 3);
    coloring->addWidget(make.check(kIdStopOnLastFrame, "Stop movie directly on last frame"), 2, 0,
                        1, 3);
    coloring->addWidget(make.label("Code color bits"), 3, 0);
    coloring->addWidget(make.combo(kIdColorBits), 3, 1);
    coloring->addWidget(make.combo(kIdColorMethod), 4, 0, 1, 2);
    coloring->addWidget(make.check(kIdLeftScrolling, "Left scrolling"), 5, 0, 1, 2);
    coloring->addWidget(make.button(kIdInsideColor, "M-Color"), 6, 0);
    coloring->addWidget(make.label("Colors"), 6, 1);
    coloring->addWidget(make.edit(kIdColors, 30, true), 6, 2);

    auto* runOptions = new QGridLayout;
    runOptions->addWidget(make.check(kIdTestOnly, "Test only"), 0, 0);
    runOptions->addWidget(make.check(kIdSkipRender, "Skip render"), 0, 1);
    runOptions->addWidget(make.check(kIdFrameByFrame, "Frame by frame"), 1, 0);
    runOptions->addWidget(make.check(kIdEllipticRegion, "Elliptic Region"), 1, 1);
    // Fields that no command shows.
    for (const auto& [id, caption] :
         {std::pair{kIdAspect43, "4:3"}, std::pair{kIdDivideSlopes, "Div"},
          std::pair{kIdDumpImages, "Dump imag"}}) {
        make.check(id, caption)->setVisible(false);
    }

    auto* settingsRow = new QHBoxLayout;
    settingsRow->addWidget(make.button(kIdSaveSettings, "Save settings"));
    settingsRow->addWidget(make.button(kIdLoadSettings, "Load settings"));

    auto* column = new QVBoxLayout;
    column->addLayout(output);
    column->addLayout(sizes);
    column->addLayout(coloring);
    column->addLayout(runOptions);
    column->addLayout(settingsRow);
    column->addStretch();
    return column;
}

}  // namespace

// Bottom row: status line with the progress under it, "?", Start and Exit.
QHBoxLayout* MainDialog::buildStatusRow(DialogWidgets& make) {
    auto* statusColumn = new QVBoxLayout;
    statusColumn->addWidget(make.edit(kIdStatus, 0, true));
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
    bottom->addWidget(make.button(kIdAbout, "?", 16), 0, Qt::AlignTop);
    QPushButton* start = make.button(kIdStart, "Start", 50);
    start->setDefault(true);
    start->setAutoDefault(true);
    bottom->addWidget(start, 0, Qt::AlignTop);
    bottom->addWidget(make.button(kIdExit, "Exit", 50), 0, Qt::AlignTop);
    return bottom;
}

void MainDialog::buildLayout() {
    DialogWidgets make(*this);
    QHBoxLayout* folder = folderRow(make);

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
    // The widgets are made in the order the focus goes through them.
    QGroupBox* waves = wavesGroup(make);
    QGroupBox* longWaves = longWavesGroup(make);
    QVBoxLayout* values = valuesColumn(make, longWaves);
    QVBoxLayout* output = outputColumn(make);
    QHBoxLayout* bottom = buildStatusRow(make);

    // Columns.
    auto* listsLeft = new QVBoxLayout;
    listsLeft->addWidget(speed);
    listsLeft->addWidget(rotation);
    listsLeft->addWidget(cycle);
    auto* listsMiddle = new QVBoxLayout;
    listsMiddle->addWidget(division);
    listsMiddle->addWidget(colorCount);
    listsMiddle->addWidget(waves);

    auto* columns = new QHBoxLayout;
    columns->addLayout(listsLeft);
    columns->addLayout(listsMiddle);
    columns->addLayout(values);
    columns->addLayout(output);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(folder);
    layout->addLayout(columns);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace zr
