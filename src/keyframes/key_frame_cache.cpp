#include "keyframes/key_frame_cache.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "keyframes/key_frame_header.h"
#include "settings/setting_types.h"
#include "support/text_match.h"

namespace zr {

namespace {

// Layout of a key frame file: "ZMB", width, height, the counts column by column, the
// iteration division, the number of key colours, the key colours (blue, green, red), then
// optionally the maximum iteration and the fractions column by column. Little-endian.
constexpr std::uint64_t kHeaderBytes = kKeyFrameStartBytes;
constexpr std::uint64_t kColorHeaderBytes = 8;  // iteration division and colour count
constexpr int kColumnsPerBlock = 32;            // columns read and transposed at a time

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::int32_t int32At(const std::uint8_t* bytes) {
    return static_cast<std::int32_t>(littleEndian32(bytes));
}

float floatAt(const std::uint8_t* bytes) {
    return std::bit_cast<float>(littleEndian32(bytes));
}

bool seekTo(std::FILE* file, std::uint64_t offset) {
    // Seek in steps that a long can hold, for platforms where long has 32 bits.
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        return false;
    }
    constexpr std::uint64_t kStep = 1u << 30;
    while (offset > 0) {
        const std::uint64_t step = std::min(offset, kStep);
        if (std::fseek(file, static_cast<long>(step), SEEK_CUR) != 0) {
            return false;
        }
        offset -= step;
    }
    return true;
}

// What the fixed part of a key frame file says, checked against the file's length.
struct KeyFrameHeader {
    int width = 0;
    int height = 0;
    std::int32_t iterationDivision = 0;
    int colorCount = 0;
    std::vector<std::uint8_t> colorBytes;  // 3 per key colour
};

// Why a file is not a usable key frame: the fault and what was wrong.
struct Refusal {
    KeyFrameFault fault;
    std::string detail;
};

std::string bytesText(std::uint64_t bytes) {
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

Refusal tooShort(std::uint64_t fileLength, std::uint64_t needed, const std::string& forWhat) {
    return {KeyFrameFault::kDamaged, "it holds " + bytesText(fileLength) + ", too few for " +
                                         forWhat + " (" + bytesText(needed) +
                                         "): it was cut short"};
}

// Reads and checks everything up to the key colours. A file is refused when it is not a key
// frame file, when its size is not positive, when its colour count is not 1 ... 1024, or when
// it is too short to hold its counts and key colours: a damaged header can therefore never
// make the reader allocate more than the file itself could fill. Only the maximum iteration
// and the fractions may be missing.
std::optional<Refusal> readHeader(std::FILE* file, std::uint64_t fileLength,
                                  KeyFrameHeader& header) {
    std::uint8_t bytes[kKeyFrameStartBytes];
    if (fileLength < kHeaderBytes || std::fread(bytes, 1, kHeaderBytes, file) != kHeaderBytes) {
        return Refusal{KeyFrameFault::kNotKeyFrame,
                       "it holds " + bytesText(fileLength) + ", too few for a key frame file"};
    }
    const KeyFrameStart start = parseKeyFrameStart(bytes);
    if (!start.readable()) {
        return Refusal{KeyFrameFault::kNotKeyFrame, "it does not start like a key frame file"};
    }
    header.width = start.width;
    header.height = start.height;
    if (header.width <= 0 || header.height <= 0) {
        return Refusal{KeyFrameFault::kDamaged, "its header gives a size of " +
                                                    std::to_string(header.width) + " x " +
                                                    std::to_string(header.height) + " pixels"};
    }

    const std::uint64_t pixels =
        static_cast<std::uint64_t>(header.width) * static_cast<std::uint64_t>(header.height);
    const std::uint64_t colorsAt = kHeaderBytes + 4 * pixels;
    const std::string counts = "the counts of its " + std::to_string(header.width) + " x " +
                               std::to_string(header.height) + " pixels";
    if (pixels > SIZE_MAX / 8 || fileLength < colorsAt + kColorHeaderBytes) {
        return tooShort(fileLength, colorsAt + kColorHeaderBytes, counts);
    }

    std::uint8_t colorHeader[kColorHeaderBytes];
    if (!seekTo(file, colorsAt) ||
        std::fread(colorHeader, 1, kColorHeaderBytes, file) != kColorHeaderBytes) {
        return Refusal{KeyFrameFault::kCannotOpen, "reading it failed"};
    }
    header.iterationDivision = int32At(colorHeader);
    const std::int32_t colorCount = int32At(colorHeader + 4);
    if (colorCount < 1 || colorCount > kPaletteSize) {
        return Refusal{KeyFrameFault::kDamaged, "its key colour count " +
                                                    std::to_string(colorCount) + " is not 1 to " +
                                                    std::to_string(kPaletteSize)};
    }
    header.colorCount = colorCount;
    const auto colorBytes = static_cast<std::size_t>(3 * colorCount);
    if (fileLength < colorsAt + kColorHeaderBytes + colorBytes) {
        return tooShort(fileLength, colorsAt + kColorHeaderBytes + colorBytes,
                        counts + " and its " + std::to_string(colorCount) + " key colours");
    }
    header.colorBytes.resize(colorBytes);
    if (std::fread(header.colorBytes.data(), 1, colorBytes, file) != colorBytes ||
        !seekTo(file, kHeaderBytes)) {
        return Refusal{KeyFrameFault::kCannotOpen, "reading it failed"};
    }
    return std::nullopt;
}

// Reads one table stored column by column into the row-major `table`, as far as the file
// goes; entries the file does not cover become zero.
template <typename T, typename Decode>
void readColumns(std::FILE* file, int width, int height, std::vector<T>& table, Decode decode) {
    const auto rows = static_cast<std::size_t>(height);
    // Never more than the table itself, however tall and narrow the key frame.
    std::vector<std::uint8_t> block(4 * rows *
                                    static_cast<std::size_t>(std::min(kColumnsPerBlock, width)));
    for (int x0 = 0; x0 < width; x0 += kColumnsPerBlock) {
        const int columns = std::min(kColumnsPerBlock, width - x0);
        const std::size_t wanted = 4 * rows * static_cast<std::size_t>(columns);
        const std::size_t got = std::fread(block.data(), 1, wanted, file);
        std::fill(block.begin() + static_cast<std::ptrdiff_t>(got - got % 4), block.end(), 0);
        for (std::size_t y = 0; y < rows; ++y) {
            T* row = table.data() + y * static_cast<std::size_t>(width) + x0;
            for (int c = 0; c < columns; ++c) {
                row[c] = decode(block.data() + 4 * (static_cast<std::size_t>(c) * rows + y));
            }
        }
    }
}

// Reads the file at `path` into `frame`, whose path the caller has already set. Says why
// when the file gives no key frame.
std::optional<Refusal> readKeyFrameFile(const std::string& path, KeyFrame& frame,
                                        UnreadableKeyFrameListener* listener) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        const std::string reason = std::error_code(errno, std::generic_category()).message();
        if (listener != nullptr) {
            listener->keyFrameUnreadable(path);
        }
        return Refusal{KeyFrameFault::kCannotOpen, "it cannot be opened: " + reason};
    }
    std::error_code sizeError;
    const std::uintmax_t fileLength = std::filesystem::file_size(path, sizeError);
    if (sizeError) {
        return Refusal{KeyFrameFault::kCannotOpen,
                       "its length cannot be read: " + sizeError.message()};
    }

    KeyFrameHeader header;
    if (std::optional<Refusal> refusal = readHeader(file.get(), fileLength, header)) {
        return refusal;
    }

    const auto pixels =
        static_cast<std::size_t>(header.width) * static_cast<std::size_t>(header.height);
    try {
        if (header.width != frame.width || header.height != frame.height) {
            // Another size: replace both tables (the old ones are freed first).
            frame.counts = {};
            frame.fractions = {};
            frame.width = header.width;
            frame.height = header.height;
            frame.counts.resize(pixels);
            frame.fractions.resize(pixels);
        }
    } catch (const std::bad_alloc&) {
        frame.counts = {};
        frame.fractions = {};
        frame.width = 0;
        frame.height = 0;
        return Refusal{KeyFrameFault::kNoMemory, "there is not enough memory to hold it"};
    }

    readColumns(file.get(), header.width, header.height, frame.counts, int32At);
    if (!seekTo(file.get(), kHeaderBytes + 4 * static_cast<std::uint64_t>(pixels) +
                                kColorHeaderBytes + header.colorBytes.size())) {
        return Refusal{KeyFrameFault::kCannotOpen, "reading it failed"};
    }

    std::uint8_t maxIterationBytes[4];
    const bool hasMaxIteration = std::fread(maxIterationBytes, 1, 4, file.get()) == 4;
    frame.iterationDivision = header.iterationDivision;
    frame.keyColors.resize(static_cast<std::size_t>(header.colorCount));
    for (int i = 0; i < header.colorCount; ++i) {
        const std::uint8_t* color = header.colorBytes.data() + 3 * i;
        frame.keyColors[static_cast<std::size_t>(i)] = Bgr{color[0], color[1], color[2]};
    }
    frame.maxIteration.reset();
    if (hasMaxIteration) {
        frame.maxIteration = int32At(maxIterationBytes);
    }

    if (hasMaxIteration) {
        readColumns(file.get(), header.width, header.height, frame.fractions, floatAt);
    } else {
        std::fill(frame.fractions.begin(), frame.fractions.end(), 0.0f);
    }
    return std::nullopt;
}

// A path with its letters folded, as paths are compared.
std::string foldedPath(std::string_view path) {
    std::string folded(path);
    for (char& c : folded) {
        c = foldAsciiCase(c);
    }
    return folded;
}

}  // namespace

std::string KeyFrameReadError::text() const {
    return path + ": " + detail;
}

int KeyFrameCache::indexOf(const std::string& path) const {
    if (path.empty()) {
        return -1;
    }
    for (int i = 0; i < kSlotCount; ++i) {
        if (equalIgnoringCase(slots_[static_cast<std::size_t>(i)].path, path)) {
            return i;
        }
    }
    return -1;
}

int KeyFrameCache::claimSlot() {
    for (int i = 0; i < kSlotCount; ++i) {
        if (slots_[static_cast<std::size_t>(i)].path.empty()) {
            return i;
        }
    }
    // Every slot holds a key frame: reuse the next one from the cursor that is not in use. A
    // full turn finds none when all are in use, and leaves the cursor where it was.
    for (int tries = 0; tries < kSlotCount; ++tries) {
        const int candidate = cursor_;
        cursor_ = (cursor_ + 1) % kSlotCount;
        if (!slots_[static_cast<std::size_t>(candidate)].inUse) {
            return candidate;
        }
    }
    return -1;
}

KeyFrame* KeyFrameCache::load(const std::string& path, UnreadableKeyFrameListener* listener) {
    if (path.empty() || path.size() > kMaxPathLength) {
        return nullptr;
    }

    std::unique_lock lock(lock_);
    const auto failed = readErrors_.find(foldedPath(path));
    if (failed != readErrors_.end() && failed->second.fault != KeyFrameFault::kNoMemory) {
        return nullptr;
    }
    int index = indexOf(path);
    // Another thread may be reading this very file: wait until its slot is complete.
    while (index >= 0 && loading_[static_cast<std::size_t>(index)]) {
        loaded_.wait(lock);
        index = indexOf(path);
    }
    if (index >= 0) {
        KeyFrame& cached = slots_[static_cast<std::size_t>(index)];
        cached.inUse = 1;
        return &cached;
    }
    index = claimSlot();
    if (index < 0) {
        return nullptr;
    }
    const auto slotIndex = static_cast<std::size_t>(index);
    KeyFrame& frame = slots_[slotIndex];
    frame.path = path;
    frame.inUse = 1;
    loading_[slotIndex] = true;
    lock.unlock();

    std::optional<Refusal> refusal;
    try {
        refusal = readKeyFrameFile(path, frame, listener);
    } catch (const std::exception&) {
        // Out of memory for the read buffers: the key frame is not read (but may be later).
        refusal = Refusal{KeyFrameFault::kNoMemory, "there is not enough memory to read it"};
    }
    const bool read = !refusal;

    lock.lock();
    loading_[slotIndex] = false;
    if (read) {
        readErrors_.erase(foldedPath(path));
    } else {
        frame.path.clear();
        frame.inUse = 0;
        readErrors_.insert_or_assign(foldedPath(path),
                                     KeyFrameReadError{path, refusal->fault, refusal->detail});
    }
    lock.unlock();
    loaded_.notify_all();
    return read ? &frame : nullptr;
}

KeyFrame* KeyFrameCache::find(const std::string& path) {
    const std::lock_guard lock(lock_);
    const int index = indexOf(path);
    if (index < 0 || loading_[static_cast<std::size_t>(index)]) {
        return nullptr;
    }
    return &slots_[static_cast<std::size_t>(index)];
}

void KeyFrameCache::clearInUse() {
    const std::lock_guard lock(lock_);
    for (KeyFrame& frame : slots_) {
        frame.inUse = 0;
    }
}

void KeyFrameCache::emptyAll() {
    const std::lock_guard lock(lock_);
    for (KeyFrame& frame : slots_) {
        frame.path.clear();
        frame.inUse = 0;
    }
    readErrors_.clear();
}

void KeyFrameCache::forgetUnreadable() {
    const std::lock_guard lock(lock_);
    readErrors_.clear();
}

std::optional<KeyFrameReadError> KeyFrameCache::readError(const std::string& path) const {
    const std::lock_guard lock(lock_);
    const auto failed = readErrors_.find(foldedPath(path));
    if (failed == readErrors_.end()) {
        return std::nullopt;
    }
    return failed->second;
}

KeyFrame& KeyFrameCache::slot(int index) {
    return slots_.at(static_cast<std::size_t>(index));
}

int KeyFrameCache::cursor() const {
    const std::lock_guard lock(lock_);
    return cursor_;
}

}  // namespace zr
