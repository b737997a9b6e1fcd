#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/controls.h"
#include "settings/parameter_check.h"

namespace zr {

// The controls one specification list is edited with: Add, Update and Remove buttons, the key
// edit, the list box and one or two value edits.
struct ListControllerIds {
    int add = 0;
    int update = 0;
    int remove = 0;
    int key = 0;
    int listBox = 0;
    std::vector<int> values;
};

// What a press did: not one of the controller's buttons, nothing (no line selected), or a
// change of the list after which the key edit gets the focus.
enum class ListAction { notMine, nothing, changed };

// Turns the edits into a list line ("key TAB value [TAB value]") and back. The logic runs
// against Controls, so the dialog and the in-memory controls behave alike.
class ListController {
  public:
    explicit ListController(ListControllerIds ids) : ids_(std::move(ids)) {}

    const ListControllerIds& ids() const { return ids_; }

    // The key edit's text, then a TAB and the text of each value edit.
    std::string composeLine(const Controls& controls) const;

    // Add, Update or Remove when `buttonId` is one of this controller's buttons.
    ListAction press(Controls& controls, int buttonId) const;

    // The user selected a line: its cells go into the key edit and the value edits.
    void fillFromSelection(Controls& controls) const;

  private:
    ListControllerIds ids_;
};

// The seven lists in the order the dialog hands them every command: speed, rotation, colour
// cycle, colour division, number of colours, waves, long waves.
std::vector<ListControllerIds> standardListControllers();

// The message shown when a time stamp is not mm:ss or hh:mm:ss.
inline constexpr std::string_view kInvalidTimeFormatText =
    "Invalid format.\nValid formats are:\nmm:ss\nhh:mm:ss";

// isTimeStamp (settings/parameter_check.h) says whether a text is "mm:ss" or "hh:mm:ss".

// Checks the speed value edit (1004) before Add or Update of the speed list. In Speed mode the
// text is replaced by its integer value; in the time modes it must be a time stamp. False when
// the press must be dropped.
bool checkSpeedValue(Controls& controls);

// Captions of the key frame menu of the "Frame num." buttons, in order.
const std::vector<std::string>& keyFrameMenuEntries();
inline constexpr int kKeyFrameMenuFromFileName = 8;

// Key frame number chosen with entry 0 ... 7 of the menu ("First" ... "63/64") for
// `keyFrameCount` key frames.
int keyFrameMenuValue(int entry, int keyFrameCount);

// Key frame number of the file whose name begins with `fileNumber`: the key frames count down
// from the widest; none when the number lies beyond the key frames.
std::optional<int> keyFrameFromFileNumber(int fileNumber, int keyFrameCount);

// The largest prime at or below `value`; 0 and 1 stay as they are.
unsigned nearestPrimeAtOrBelow(unsigned value);

// The period edit's text read as an unsigned number (a sign or no digits read as 0).
unsigned readUnsigned(std::string_view text);

// Three random wave lines "H\tp", "S\tp", "B\tp", each period a prime below 2000 found by the
// nearest-prime search; `random` gives non-negative numbers like rand().
std::vector<std::string> randomWaveLines(const std::function<int()>& random);

// The wave type letter of the type list's entries 0 ... 3 ("Hue" ... "Wave(RGB)"), and back;
// -1 for any other letter.
std::string waveTypeLetter(int entry);
int waveTypeEntry(std::string_view line);

}  // namespace zr
