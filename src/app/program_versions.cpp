#include "app/program_versions.h"

#include <cstdio>  // jpeglib.h wants FILE
#include <cstdlib>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <jpeglib.h>
#include <png.h>
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace zr {

namespace {

std::string dotted(unsigned major, unsigned minor, unsigned micro) {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(micro);
}

// An FFmpeg library's version number as it reports it at run time.
std::string ffmpegLibrary(std::string_view name, unsigned version) {
    return std::string(name) + " " +
           dotted(AV_VERSION_MAJOR(version), AV_VERSION_MINOR(version), AV_VERSION_MICRO(version));
}

std::string freeTypeVersion() {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0)
        return dotted(FREETYPE_MAJOR, FREETYPE_MINOR, FREETYPE_PATCH);
    FT_Int major = 0;
    FT_Int minor = 0;
    FT_Int patch = 0;
    FT_Library_Version(library, &major, &minor, &patch);
    FT_Done_FreeType(library);
    return dotted(static_cast<unsigned>(major), static_cast<unsigned>(minor),
                  static_cast<unsigned>(patch));
}

}  // namespace

std::string_view programVersion() {
    return ZR_VERSION;
}

std::vector<LibraryVersion> libraryVersions() {
    const std::string ffmpegLibraries = "(" + ffmpegLibrary("libavformat", avformat_version()) +
                                        ", " + ffmpegLibrary("libavcodec", avcodec_version()) +
                                        ", " + ffmpegLibrary("libswscale", swscale_version()) +
                                        ", " +
                                        ffmpegLibrary("libswresample", swresample_version()) +
                                        ", " + ffmpegLibrary("libavutil", avutil_version()) + ")";
    return {
        {"FFmpeg", std::string(av_version_info()) + " " + ffmpegLibraries},
        // libjpeg-turbo tells its version only to the compiler.
        {"libjpeg-turbo",
         dotted(LIBJPEG_TURBO_VERSION_NUMBER / 1000000, LIBJPEG_TURBO_VERSION_NUMBER / 1000 % 1000,
                LIBJPEG_TURBO_VERSION_NUMBER % 1000)},
        {"libpng", png_get_libpng_ver(nullptr)},
        {"FreeType", freeTypeVersion()},
    };
}

std::string libraryVersionLines(const std::vector<LibraryVersion>& first) {
    std::string text;
    for (const LibraryVersion& library : first)
        text += library.name + " " + library.version + "\n";
    for (const LibraryVersion& library : libraryVersions())
        text += library.name + " " + library.version + "\n";
    return text;
}

std::string versionText(std::string_view program, const std::vector<LibraryVersion>& first) {
    return std::string(program) + " " + std::string(programVersion()) + "\n" +
           libraryVersionLines(first);
}

void quietVideoLibraryMessages() {
    av_log_set_level(AV_LOG_ERROR);
    // The AV1 encoder writes its settings to the standard error stream unless told otherwise.
    setenv("SVT_LOG", "1", 0);
}

}  // namespace zr
