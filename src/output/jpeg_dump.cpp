#include "output/jpeg_dump.h"

#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "support/frame_image.h"

extern "C" {
#include <jpeglib.h>
}

namespace zr {

namespace {

// libjpeg's error manager, extended by the place to return to: a library error ends the one
// image, not the program.
struct ReturningErrorManager {
    jpeg_error_mgr standard;
    std::jmp_buf returnPoint;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void returnOnError(j_common_ptr info) {
    auto* manager = reinterpret_cast<ReturningErrorManager*>(info->err);
    manager->message[0] = '\0';
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->returnPoint, 1);
}

void ignoreMessage(j_common_ptr) {}

// The output image: rows top-down, packed, red, green, blue.
std::vector<std::uint8_t> packedRgbRows(const FrameImage& frame) {
    const int width = frame.width();
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * 3 * frame.height());
    std::uint8_t* target = rgb.data();
    for (int y = 0; y < frame.height(); ++y) {
        const std::uint8_t* source = frame.row(y);
        for (int x = 0; x < width; ++x) {
            target[0] = source[2];
            target[1] = source[1];
            target[2] = source[0];
            source += 3;
            target += 3;
        }
    }
    return rgb;
}

// Compresses `rgb` into the open file. Only plain data lives in this frame, so returning here
// through longjmp skips no destructor. Returns false with `manager.message` set on a library
// error.
bool compress(std::FILE* file, const std::uint8_t* rgb, int width, int height, int quality,
              ReturningErrorManager& manager) {
    jpeg_compress_struct info{};
    info.err = jpeg_std_error(&manager.standard);
    manager.standard.error_exit = returnOnError;
    manager.standard.output_message = ignoreMessage;
    if (setjmp(manager.returnPoint) != 0) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + info.next_scanline * rowBytes);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

void removeHalfWritten(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) {
        std::filesystem::remove(path, error);
    }
}

}  // namespace

std::string jpegDumpPath(const std::string& moviePath, int movieNumber, int frameNumber) {
    const char* const separators = std::filesystem::path::preferred_separator == '/' ? "/" : "/\\";
    const std::size_t separator = moviePath.find_last_of(separators);
    const std::string folder =
        separator == std::string::npos ? std::string() : moviePath.substr(0, separator + 1);
    char name[64];
    std::snprintf(name, sizeof name, "img_%04d_%03d.jpg", movieNumber, frameNumber);
    return folder + name;
}

int saveFrameAsJpeg(const std::string& path, const FrameImage& frame, int quality,
                    std::string* errorText) {
    const auto failed = [&](const std::string& reason) {
        if (errorText != nullptr) {
            *errorText = "Unable to write the frame image \"" + path + "\": " + reason;
        }
        return 0;
    };
    if (frame.empty()) {
        return failed("the frame has no pixels");
    }
    const std::vector<std::uint8_t> rgb = packedRgbRows(frame);

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return failed(std::strerror(errno));
    }
    ReturningErrorManager manager{};
    const bool compressed =
        compress(file, rgb.data(), frame.width(), frame.height(), quality, manager);
    const bool closed = std::fclose(file) == 0;
    if (!compressed || !closed) {
        removeHalfWritten(path);
        return failed(compressed ? std::string(std::strerror(errno))
                                 : std::string(manager.message));
    }
    return 1;
}

}  // namespace zr
