#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zr {

// ---------------------------------------------------------------------------------------------
// Reading the cells of the timeline lists: the leading number of the text, 0 for none (like
// atoi and atof). Values beyond the int range are held at its ends; a text that reads as
// infinity or not-a-number reads as 0.
int specInt(std::string_view text);
double specDouble(std::string_view text);
// A double truncated toward zero into an int; beyond the int range it is held at its ends, and
// not-a-number gives 0.
int truncToInt(double value);

// Seconds of a time stamp "ss", "mm:ss" or "hh:mm:ss" (two digits a field): the leading number,
// and for texts of 5 characters or more the number from the 4th character on, twice at most.
// "01:30" and "90" are 90 seconds; "1:30" is 1 second. Held within +-2^40 seconds.
long long readTimeStamp(std::string_view text);

// "Start iter value", an unsigned number: leading blanks and a "+" are skipped, then the digits
// are read (at most 4294967295); a sign or no digits read as 0, which means "not set".
std::uint32_t readStartIteration(std::string_view text);

// The key frame whose decimal text `text` is exactly ("7", "-3"; not "07", "7.0" or " 7"), or
// -1 with ok false for any other text.
bool canonicalKeyFrame(std::string_view text, int& keyFrame);

// ---------------------------------------------------------------------------------------------
// A timeline list as typed rows: each line's key frame text (cell 0), value text (cell 1) and
// the value read from it. A row belongs to key frame k only when its key frame text is exactly
// the decimal text of k; rows that belong to no key frame still count as rows.
template <typename Value>
class Track {
  public:
    struct Row {
        std::string keyText;
        std::string valueText;
        Value value{};
        bool operator==(const Row&) const = default;
    };

    void add(std::string keyText, std::string valueText, Value value) {
        int keyFrame = 0;
        if (canonicalKeyFrame(keyText, keyFrame)) {
            firstRowOf_.try_emplace(keyFrame, static_cast<int>(rows_.size()));
        }
        rows_.push_back(Row{std::move(keyText), std::move(valueText), std::move(value)});
    }

    const std::vector<Row>& rows() const { return rows_; }
    int rowCount() const { return static_cast<int>(rows_.size()); }
    bool empty() const { return rows_.empty(); }

    // The first row of key frame k, or nullptr.
    const Row* rowOf(int keyFrame) const {
        const auto found = firstRowOf_.find(keyFrame);
        return found == firstRowOf_.end() ? nullptr
                                          : &rows_[static_cast<std::size_t>(found->second)];
    }
    // The value of the first row of key frame k, or nullptr.
    const Value* at(int keyFrame) const {
        const Row* row = rowOf(keyFrame);
        return row == nullptr ? nullptr : &row->value;
    }

    bool operator==(const Track& other) const { return rows_ == other.rows_; }

  private:
    std::vector<Row> rows_;
    std::unordered_map<int, int> firstRowOf_;
};

// A row of the speed list: a speed (movie frames per key frame) in Speed mode, a time stamp in
// the time modes. The key frame number of a time stamp reads leniently (the leading number of
// its text), and the stamps are taken in the order of that number read as a decimal.
struct SpeedValue {
    int speed = 0;               // the value text read as an integer
    long long stampSeconds = 0;  // the value text read as a time stamp
    double keyOrder = 0.0;       // the key frame text read as a decimal
    int stampKeyFrame = 0;       // the key frame text read as an integer
    bool operator==(const SpeedValue&) const = default;
};

// A row of the rotation list: the rotation speed to reach, or "R" (any text whose first letter
// is r or R): the picture turns back upright during the key frame.
struct RotateValue {
    bool returnUpright = false;
    double speed = 0.0;
    bool operator==(const RotateValue&) const = default;
};

// A row of the colour count list: the change of the number of key colours per movie frame. The
// row of key frame 0 reads as a decimal with its fraction dropped, every other row as an integer.
struct ColorCountValue {
    int step = 0;               // the value read as an integer
    int firstKeyFrameStep = 0;  // the value read as a decimal, truncated
    bool operator==(const ColorCountValue&) const = default;
};

using SpeedTrack = Track<SpeedValue>;
using RotateTrack = Track<RotateValue>;
using CycleTrack = Track<double>;   // colour cycle speed to reach
using DivideTrack = Track<double>;  // colour division to reach; rows by key frame number
using ColorCountTrack = Track<ColorCountValue>;  // rows by key frame number

// The tracks from list box lines, each split at TAB into its cells, as Start reads the lists.
// The DIVIDE and NOC lists are put in the order of their key frame numbers read as decimals
// (equal numbers keep their list order); the others keep the list order.
SpeedTrack speedTrackOf(const std::vector<std::string>& lines);
RotateTrack rotateTrackOf(const std::vector<std::string>& lines);
CycleTrack cycleTrackOf(const std::vector<std::string>& lines);
DivideTrack divideTrackOf(const std::vector<std::string>& lines);
ColorCountTrack colorCountTrackOf(const std::vector<std::string>& lines);

// Whether the time stamps of the speed list, taken in the order of their key frame numbers,
// ever go back: a stamp's frame (its seconds times `fps`) before the frame of the one before it
// (0 before the first).
bool timeStampsGoBack(const SpeedTrack& speeds, int fps);

// The rows of the speed list in the order the time stamps take them.
std::vector<const SpeedTrack::Row*> timeStampOrder(const SpeedTrack& speeds);

}  // namespace zr
