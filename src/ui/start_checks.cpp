#include "ui/start_checks.h"

#include <filesystem>
#include <system_error>

#include "movie/frame_loop.h"
#include "output/movie_format.h"
#include "output/soundtrack.h"
#include "settings/setting_types.h"
#include "ui/message_box.h"

namespace zr {

namespace {

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The key frame folder as the user typed it, without the separator the pattern adds.
std::string folderOf(const MovieSpec& spec) {
    std::string folder = spec.output.folder();
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) {
        folder.pop_back();
    }
    return folder;
}

std::optional<StartProblem> keyFrameFolderProblem(const MovieSpec& spec) {
    if (!listRunKeyFrames(spec).empty()) {
        return std::nullopt;
    }
    const std::string folder = folderOf(spec);
    std::error_code error;
    const bool exists = !folder.empty() && std::filesystem::is_directory(folder, error);
    std::string reason;
    if (folder.empty()) {
        reason = "no key frame folder is chosen";
    } else if (!exists) {
        reason = "the key frame folder " + quoted(folder) + " does not exist";
    } else {
        reason = "no .zmb key frame file and no .jpg, .png or .bmp picture in " + quoted(folder);
    }
    return StartProblem{"Invalid Folder: " + reason +
                            ".\nChoose a folder of key frames with \"...\" beside Directory.",
                        kIdDirectory};
}

}  // namespace

std::optional<StartProblem> checkBeforeStart(const MovieSpec& spec) {
    if (auto problem = keyFrameFolderProblem(spec)) {
        return problem;
    }
    if (spec.output.testOnly || spec.output.skipRender) {
        return std::nullopt;  // no movie file is written
    }
    const std::string movie = spec.output.firstMovieFile();
    const ContainerInfo* container = containerForFile(movie);
    if (container != nullptr && container->id == Container::kAvi &&
        !spec.output.movieFile.soundtrack.empty()) {
        return StartProblem{
            "The AVI movie " + quoted(movie) +
                " carries no soundtrack.\nName an MP4, Matroska, QuickTime or WebM file in "
                "Movie file (such as film.mp4), or empty the field beside Sound... to write the "
                "AVI movie without sound.",
            kIdMovieFile};
    }
    const std::string soundtrack = spec.output.soundtrackFile();
    SoundtrackInfo info;
    std::string error;
    if (!soundtrack.empty() && !probeSoundtrack(soundtrack, info, error)) {
        return StartProblem{asSentence(error) +
                                "\nChoose another sound file with Sound..., or empty the field "
                                "beside it to write the movie without sound.",
                            kIdSoundFile};
    }
    return std::nullopt;
}

}  // namespace zr
