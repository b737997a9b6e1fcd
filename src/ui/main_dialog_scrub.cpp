// The timeline under the preview: it follows the controls, so the frame shown is always that of
// the movie Start would render now.

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include "movie/render_session.h"
#include "ui/main_dialog.h"
#include "ui/preview_window.h"
#include "ui/scrubber.h"

namespace zr {

namespace {

// A change of the controls shows on the timeline after this pause, so typing a number does not
// make a frame for every digit.
constexpr int kSettingsPauseMs = 150;

}  // namespace

void MainDialog::watchSettingsForTimeline() {
    scrubRefresh_ = new QTimer(this);
    scrubRefresh_->setSingleShot(true);
    scrubRefresh_->setInterval(kSettingsPauseMs);
    connect(scrubRefresh_, &QTimer::timeout, this, &MainDialog::refreshTimeline);
    const auto changed = [this] { settingsChanged(); };
    for (const auto& [id, widget] : controls_) {
        if (id == kIdStatus || id == kIdCurrentCycle || id == kIdCurrentRotation ||
            id == kIdCurrentIteration || id == kIdColors || id == kIdMovieLength) {
            continue;  // what a run reports, not a setting
        }
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            connect(edit, &QLineEdit::textChanged, this, changed);
        } else if (auto* box = qobject_cast<QComboBox*>(widget)) {
            connect(box, &QComboBox::currentIndexChanged, this, changed);
        } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
            QAbstractItemModel* model = list->model();
            connect(model, &QAbstractItemModel::rowsInserted, this, changed);
            connect(model, &QAbstractItemModel::rowsRemoved, this, changed);
            connect(model, &QAbstractItemModel::dataChanged, this, changed);
            connect(model, &QAbstractItemModel::modelReset, this, changed);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget);
                   button != nullptr && button->isCheckable()) {
            connect(button, &QAbstractButton::toggled, this, changed);
        }
    }
    connect(&preview_->scrubber(), &Scrubber::moviePlanned, this, &MainDialog::showPlannedLength);
    timelineColorsChanged();
}

void MainDialog::settingsChanged() {
    preview_->scrubber().releasePicture();
    timelineColorsChanged();
}

void MainDialog::timelineColorsChanged() {
    if (scrubRefresh_ != nullptr) {
        scrubRefresh_->start();
    }
}

void MainDialog::refreshTimeline() {
    const MovieSpecResult built = buildMovieSpec(*this, spec_);
    if (!built.ok()) {
        return;  // the timeline keeps the last movie that could be made
    }
    // A run started now goes on from the colours the last run or Test left; while a run is under
    // way they are not read, and the last ones taken serve.
    if (!runInProgress()) {
        timelineColors_ = session_->colors;
    }
    Scrubber& scrubber = preview_->scrubber();
    scrubber.setSound(playbackSoundOf(built.spec));
    scrubber.setMovie(built.spec, timelineColors_);
}

PlaybackSound MainDialog::playbackSoundOf(const MovieSpec& spec) const {
    // The soundtrack the movie file gets, from the second of the movie it begins at.
    return {spec.output.soundtrackFile(), spec.output.movieFile.soundtrackOffset};
}

}  // namespace zr
