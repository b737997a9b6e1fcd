// Message boxes and the choosers behind the dialog's buttons: colours, files, font, folder,
// compressor, settings files and the About box.

#include <QColorDialog>
#include <QFontDialog>
#include <QStringList>
#include <QtGlobal>

#include "app/folder_choice.h"
#include "app/program_versions.h"
#include "settings/memory_controls.h"
#include "settings/setting_types.h"
#include "settings/settings_file.h"
#include "ui/compressor_dialog.h"
#include "ui/main_dialog.h"

namespace zr {

namespace {

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
    return "Zoomreel " + std::string(programVersion()) +
           "\n\nTurns a folder of fractal key frames into a zoom movie.\n\n" +
           libraryVersionLines({{"Qt", qVersion()}});
}

}  // namespace

MessageAnswer MainDialog::message(const MessageRequest& request) {
    return showMessage(this, request, messageHook_);
}

bool MainDialog::chooseCompressor(CompressorChoice& choice) {
    if (compressorHook_) {
        return compressorHook_(choice);
    }
    return zr::chooseCompressor(this, choice);
}

void MainDialog::chooseInsideColor() {
    if (const std::optional<QColor> color =
            pickColor(this, fromColorRef(insideColor()), insideCustomColors_)) {
        setInsideColor(colorRef(*color));
        settingsChanged();
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
    const std::optional<std::string> file = chooseFile(
        this, true, "Select Background Image", "Jpeg images", "*.jpg;*.jpeg", text(kIdTextureFile));
    if (!file) {
        return;
    }
    if (file->size() > kMaxPathLength) {
        message(errorMessage("The path of the picture is longer than " +
                             std::to_string(kMaxPathLength) + " characters:\n" + *file +
                             "\nMove the picture to a folder with a shorter path."));
        return;
    }
    setText(kIdTextureFile, *file);
}

void MainDialog::chooseFont() {
    bool ok = false;
    const QFont start(QString::fromStdString(text(kIdFontFace)));
    const QFont font = QFontDialog::getFont(&ok, start, this);
    if (!ok) {
        return;
    }
    const std::string face = font.family().toStdString().substr(0, kMaxFontFaceLength);
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
    settingsChanged();  // the inside colour is no control the timeline watches
    if (!result.ok) {
        message(errorMessage(result.error));
        return false;
    }
    for (const std::string& note : result.notes) {
        message(errorMessage(note));
    }
    return true;
}

}  // namespace zr
