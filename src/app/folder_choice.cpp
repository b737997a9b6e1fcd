#include "app/folder_choice.h"

#include <algorithm>

#include "keyframes/image_file.h"
#include "keyframes/key_frame_folder.h"
#include "keyframes/key_frame_header.h"
#include "movie/movie_length.h"
#include "output/movie_format.h"
#include "settings/memory_controls.h"
#include "settings/setting_types.h"
#include "support/folder_listing.h"

namespace zr {

namespace {

FolderChoiceResult failure(std::string_view message, std::string detail) {
    FolderChoiceResult result;
    result.ok = false;
    result.message = std::string(message);
    result.detail = std::move(detail);
    return result;
}

}  // namespace

FolderChoiceResult chooseKeyFrameFolder(Controls& controls, const std::string& folder) {
    controls.setText(kIdDirectory, folder);

    const std::vector<std::string> keyFrames = listMatchingFiles(folder, "*.zmb");
    const std::vector<std::string> pictures = listKeyFramePictures(folder);
    FolderChoiceResult result;
    if (!keyFrames.empty()) {
        const std::string& first = keyFrames.front();
        const KeyFrameStartResult header = readKeyFrameStart(first);
        if (!header.start && header.error == KeyFrameStartError::kCannotOpen)
            return failure(kFolderUnreadable, "cannot open \"" + first + "\"");
        if (!header.start || !header.start->givesPictureSize()) {
            return failure(kFolderWrongType,
                           "\"" + first + "\" does not start like a key frame file");
        }
        result.frameWidth = header.start->width;
        result.frameHeight = header.start->height;
    } else if (!pictures.empty()) {
        // A folder of pictures alone: a run makes its movie of them, and the first one gives
        // the size.
        const std::string& first = pictures.front();
        const OptionalImage picture = loadImageFile(first);
        if (!picture || picture->empty()) {
            return failure(kFolderWrongType,
                           "\"" + first + "\" is not a JPEG, PNG or BMP picture that can be read");
        }
        result.frameWidth = picture->width();
        result.frameHeight = picture->height();
    } else {
        return failure(
            kFolderUnreadable,
            "no .zmb key frame file and no .jpg, .png or .bmp picture in \"" + folder + "\"");
    }

    const std::string width = std::to_string(result.frameWidth);
    const std::string height = std::to_string(result.frameHeight);
    controls.setText(kIdFrameWidth, width);
    controls.setText(kIdMovieWidth, width);
    controls.setText(kIdFrameHeight, height);
    controls.setText(kIdMovieHeight, height);
    controls.setText(kIdFramesPerMovie,
                     std::to_string(proposedFramesPerMovieFor(
                         controls.text(kIdMovieFile), result.frameWidth, result.frameHeight)));

    result.keyFrameCount = static_cast<int>(std::max(keyFrames.size(), pictures.size()));
    controls.setKeyFrameCount(result.keyFrameCount);
    controls.recomputeMovieLength();
    return result;
}

int proposedFramesPerMovieFor(std::string_view movieFile, int width, int height) {
    const ContainerInfo* container = containerForFile(movieFile);
    if (container != nullptr && container->id != Container::kAvi)
        return 0;
    return proposedFramesPerMovie(width, height);
}

void proposeFramesPerMovieForContainer(Controls& controls) {
    const int width = controlInt(controls, kIdMovieWidth);
    const int height = controlInt(controls, kIdMovieHeight);
    const std::string aviProposal = std::to_string(proposedFramesPerMovie(width, height));
    if (controls.text(kIdFramesPerMovie) != aviProposal)
        return;
    controls.setText(kIdFramesPerMovie, std::to_string(proposedFramesPerMovieFor(
                                            controls.text(kIdMovieFile), width, height)));
}

void updateMovieLengthEstimate(Controls& controls, int keyFrameCount, int fps) {
    const std::string text = movieLengthEstimate(controls.lines(kIdSpeedList), keyFrameCount, fps);
    if (!text.empty())
        controls.setText(kIdMovieLength, text);
}

void recomputeMovieLengthEstimate(Controls& controls) {
    updateMovieLengthEstimate(controls, controls.keyFrameCount(), controlInt(controls, kIdFps));
}

}  // namespace zr
