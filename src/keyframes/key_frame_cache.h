#pragma once

#include <array>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "keyframes/key_frame.h"

namespace zr {

// Whom a key frame cache tells of a key frame file that cannot be opened. Called on the
// thread that tried to read it, which may be any of the threads colouring key frames.
class UnreadableKeyFrameListener {
  public:
    virtual void keyFrameUnreadable(const std::string& path) = 0;

  protected:
    ~UnreadableKeyFrameListener() = default;
};

// Why a key frame file gave no key frame.
enum class KeyFrameFault {
    kCannotOpen,   // missing, vanished or not readable
    kNotKeyFrame,  // does not start like a key frame file
    kDamaged,      // a key frame file whose header or length does not hold together (truncated)
    kNoMemory,     // too large to hold now; tried again on the next request
};

struct KeyFrameReadError {
    std::string path;
    KeyFrameFault fault = KeyFrameFault::kDamaged;
    std::string detail;  // what was wrong, e.g. "it holds 2000 bytes, ..."

    // "<path>: <detail>"
    std::string text() const;
};

// The 16 slots that keep key frames once read. Slots are looked up and claimed under the
// cache's lock; the tables of a slot are written only by the thread that claimed it. A slot
// keeps its tables when it is emptied, and replaces them only when a key frame of another size
// is read into it. Reading a key frame changes nothing outside its slot: what its header says
// (key colours, division, maximum iteration) is for the caller to use.
class KeyFrameCache {
  public:
    static constexpr int kSlotCount = 16;

    // Finds the key frame of `path` (letter case ignored) or reads it into a free slot, marks
    // the slot in use and returns it. Returns nullptr when the file cannot be opened (`listener`,
    // if any, is told), is not a key frame file or is damaged (such a
    // file is not tried again until forgetUnreadable or emptyAll), when the path is empty or 256
    // characters or longer, and when all 16 slots are in use: that request fails at once, no
    // slot is taken from another key frame.
    KeyFrame* load(const std::string& path, UnreadableKeyFrameListener* listener = nullptr);

    // The cached key frame of `path` (letter case ignored) or nullptr; never reads a file and
    // does not mark the slot in use. An empty path matches nothing.
    KeyFrame* find(const std::string& path);

    // Releases every slot for reuse while keeping what it holds (before each composition).
    void clearInUse();
    // Forgets every key frame: all paths empty, nothing in use; the tables stay allocated. Files
    // that could not be read are tried again.
    void emptyAll();
    // Files that could not be read are tried again (they are not, and their unreadability is
    // not told again, until this or emptyAll).
    void forgetUnreadable();
    // Why the last read of `path` (letter case ignored) failed, until it is read, forgotten or
    // emptied; none when it did not fail.
    std::optional<KeyFrameReadError> readError(const std::string& path) const;

    KeyFrame& slot(int index);
    // The slot at which the search for a slot to reuse begins when none is empty.
    int cursor() const;

  private:
    // Index of the slot holding `path`, or -1. Called under the cache lock.
    int indexOf(const std::string& path) const;
    // A slot for a new key frame: the lowest empty one, else the next one from the cursor
    // that is not in use; -1 when every slot is in use. Called under the cache lock.
    int claimSlot();

    mutable std::mutex lock_;
    std::array<KeyFrame, kSlotCount> slots_;
    std::array<bool, kSlotCount> loading_{};  // claimed and still being read from its file
    std::condition_variable loaded_;          // signalled whenever a slot stops loading
    int cursor_ = 0;
    // Files whose last read failed, letters folded to lower case, and why. Those that failed
    // for another reason than memory are not tried again.
    std::unordered_map<std::string, KeyFrameReadError> readErrors_;
};

}  // namespace zr
