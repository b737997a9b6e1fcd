// Message boxes and the choosers behind the dialog's buttons: colours, files, font, folder,
// compressor, settings files and the About box.

#include <QColorDialog>
#include <QFontDialog>
#include <QStringList>
#include <QtGlobal>
#include <filesystem>

#include "app/folder_choice.h"
#include "app/program_versions.h"
#include "output/movie_format.h"
#include "output/soundtrack.h"
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

// A file inside `folder` by its name, any other by its whole path.
std::string nameInFolder(const std::string& folder, const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path file = fs::path(path).lexically_normal();
    if (folder.empty() || file.filename().empty()) {
        return path;
    }
    const fs::path inFolder = (fs::path(folder) / file.filename()).lexically_normal();
    return inFolder == file ? file.filename().string() : path;
}

// The movie file settings that belong to one container: another container's codec would not do.
constexpr int kCodecControls[] = {kIdVideoCodec, kIdCrf, kIdPreset, kIdPixelFormat};

constexpr const char* kSoundPatterns = "*.ogg;*.opus;*.mp3;*.m4a;*.aac;*.flac;*.wav";

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
    // The dialog opens at what the user chose last; before that at the compressor the movie file
    // settings name, else at Motion JPEG, whatever the writer would fall back on.
    CompressorChoice start = choice;
    if (chosenCompressor_) {
        start = *chosenCompressor_;
    } else {
        const std::string named = text(kIdVideoCodec);
        start.fourcc = named.empty() ? std::string(kPreferredCompressor) : named;
    }
    const bool chosen =
        compressorHook_ ? compressorHook_(start) : zr::chooseCompressor(this, start);
    if (chosen) {
        choice = start;
        chosenCompressor_ = start;
    }
    return chosen;
}

bool MainDialog::chooseVideoCodec(Container container, VideoCodecChoice& choice) {
    if (videoCodecHook_) {
        return videoCodecHook_(container, choice);
    }
    return zr::chooseVideoCodec(this, container, choice);
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

void MainDialog::browseMovieFile() {
    const std::string current = text(kIdMovieFile).empty() ? "film.avi" : text(kIdMovieFile);
    const std::optional<std::string> file =
        chooseFile(this, false, "Movie file", "Movie files", containerPatterns().c_str(),
                   std::filesystem::path(current).is_absolute()
                       ? current
                       : (std::filesystem::path(text(kIdDirectory)) / current).string());
    if (file) {
        chooseMovieFile(*file);
    }
}

bool MainDialog::chooseMovieFile(const std::string& path) {
    const ContainerInfo* container = containerForFile(path);
    if (container == nullptr) {
        message(errorMessage("The movie file \"" + path +
                             "\" has an extension this program cannot write.\nEnd its name in "
                             "one of " +
                             containerList() + "."));
        return false;
    }
    const std::string before = text(kIdMovieFile);
    if (containerForFile(before.empty() ? "film.avi" : before) != container) {
        for (const int id : kCodecControls) {
            setText(id, "");
        }
    }
    setText(kIdMovieFile, nameInFolder(text(kIdDirectory), path));
    return true;
}

void MainDialog::browseSoundFile() {
    const std::optional<std::string> file =
        chooseFile(this, true, "Sound", "Sound files", kSoundPatterns, text(kIdSoundFile));
    if (file) {
        chooseSoundFile(*file);
    }
}

bool MainDialog::chooseSoundFile(const std::string& path) {
    SoundtrackInfo info;
    std::string error;
    if (!path.empty() && !probeSoundtrack(path, info, error)) {
        message(errorMessage(asSentence(error)));
        return false;
    }
    setText(kIdSoundFile, nameInFolder(text(kIdDirectory), path));
    return true;
}

void MainDialog::chooseFolder(const std::string& folder) {
    const FolderChoiceResult result = chooseKeyFrameFolder(*this, folder);
    if (!result.ok) {
        // The design's text, then why and what to do.
        std::string text = result.message;
        if (!result.detail.empty()) {
            text += ":\n" + asSentence(result.detail);
        }
        message(
            errorMessage(text + "\nChoose a folder of key frames with \"...\" beside Directory."));
        return;
    }
    if (!runInProgress()) {
        setText(kIdStatus, "");  // what a failed Start said of the folder before no longer holds
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
    // The dialog loads what it can, as it always did; what it passed over is told in the status.
    if (!result.findings.empty()) {
        const SettingsLineFinding& first = result.findings.front();
        std::string status = std::filesystem::path(path).filename().string() + ":" +
                             std::to_string(first.line) + ": " + first.message;
        if (result.findings.size() > 1)
            status += " (and " + std::to_string(result.findings.size() - 1) + " more)";
        setText(kIdStatus, status);
    }
    return true;
}

}  // namespace zr
