// What the dialog's buttons, check boxes, list boxes and key frame menus do.

#include <QLineEdit>
#include <QMenu>
#include <cstdlib>
#include <map>
#include <random>

#include "app/folder_choice.h"
#include "settings/memory_controls.h"
#include "settings/setting_types.h"
#include "ui/main_dialog.h"

namespace zr {

namespace {

const std::map<int, int>& frameButtonKeyEdits() {
    static const std::map<int, int> keyEdits = {{kIdSpeedFrameNum, kIdSpeedKey},
                                                {kIdRotateFrameNum, kIdRotateKey},
                                                {kIdCycleFrameNum, kIdCycleKey},
                                                {kIdDivideFrameNum, kIdDivideKey},
                                                {kIdColorCountFrameNum, kIdColorCountKey}};
    return keyEdits;
}

}  // namespace

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
            exitDialog();
            return;
        case kIdInsideColor:
            chooseInsideColor();
            break;
        case kIdWaveSeed: {
            const auto nextPeriod = [this] {
                return std::uniform_int_distribution<int>(0, 1999)(waveRandom_);
            };
            for (const std::string& line : randomWaveLines(nextPeriod)) {
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
        case kIdMovieFileChoose:
            browseMovieFile();
            break;
        case kIdSoundChoose:
            browseSoundFile();
            break;
        case kIdWavePrime: {
            // An empty Period stays empty, for the user to type one: no prime is below nothing.
            const QString period = QString::fromStdString(text(kIdWavePeriod)).trimmed();
            if (period.isEmpty()) {
                control(kIdWavePeriod)->setFocus();
                break;
            }
            setText(kIdWavePeriod,
                    std::to_string(nearestPrimeAtOrBelow(readUnsigned(period.toStdString()))));
            break;
        }
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
    const int keyFrameCount = this->keyFrameCount();
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

}  // namespace zr
