#include "ui/list_controller.h"

#include <cctype>
#include <climits>

#include "settings/setting_types.h"

namespace zr {

namespace {

std::vector<std::string> splitAtTabs(std::string_view line) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) {
            cells.emplace_back(line.substr(start));
            return cells;
        }
        cells.emplace_back(line.substr(start, tab - start));
        start = tab + 1;
    }
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string ListController::composeLine(const Controls& controls) const {
    std::string line = controls.text(ids_.key);
    for (const int value : ids_.values) {
        line += '\t';
        line += controls.text(value);
    }
    return line;
}

ListAction ListController::press(Controls& controls, int buttonId) const {
    if (buttonId == ids_.add) {
        controls.addLine(ids_.listBox, composeLine(controls));
        return ListAction::changed;
    }
    if (buttonId != ids_.update && buttonId != ids_.remove) {
        return ListAction::notMine;
    }
    const int selected = controls.selection(ids_.listBox);
    if (selected < 0 || selected >= controls.entryCount(ids_.listBox)) {
        return ListAction::nothing;
    }
    if (buttonId == ids_.update) {
        controls.replaceLine(ids_.listBox, selected, composeLine(controls));
    } else {
        controls.removeLine(ids_.listBox, selected);
    }
    return ListAction::changed;
}

void ListController::fillFromSelection(Controls& controls) const {
    const int selected = controls.selection(ids_.listBox);
    const std::vector<std::string> lines = controls.lines(ids_.listBox);
    if (selected < 0 || selected >= static_cast<int>(lines.size())) {
        return;
    }
    const std::vector<std::string> cells = splitAtTabs(lines[selected]);
    controls.setText(ids_.key, cells[0]);
    for (std::size_t i = 0; i < ids_.values.size(); ++i) {
        controls.setText(ids_.values[i], i + 1 < cells.size() ? cells[i + 1] : std::string());
    }
}

std::vector<ListControllerIds> standardListControllers() {
    return {
        {kIdSpeedAdd, kIdSpeedUpdate, kIdSpeedRemove, kIdSpeedKey, kIdSpeedList, {kIdSpeedValue}},
        {kIdRotateAdd,
         kIdRotateUpdate,
         kIdRotateRemove,
         kIdRotateKey,
         kIdRotateList,
         {kIdRotateValue}},
        {kIdCycleAdd, kIdCycleUpdate, kIdCycleRemove, kIdCycleKey, kIdCycleList, {kIdCycleValue}},
        {kIdDivideAdd,
         kIdDivideUpdate,
         kIdDivideRemove,
         kIdDivideKey,
         kIdDivideList,
         {kIdDivideValue}},
        {kIdColorCountAdd,
         kIdColorCountUpdate,
         kIdColorCountRemove,
         kIdColorCountKey,
         kIdColorCountList,
         {kIdColorCountValue}},
        {kIdWaveAdd, kIdWaveUpdate, kIdWaveRemove, kIdWaveTypeLetter, kIdWaveList, {kIdWavePeriod}},
        {kIdLongWaveAdd,
         kIdLongWaveUpdate,
         kIdLongWaveRemove,
         kIdLongWaveColorText,
         kIdLongWaveList,
         {kIdLongWavePeriod, kIdLongWavePercent}},
    };
}

bool checkSpeedValue(Controls& controls) {
    if (controls.selection(kIdTimeType) == kTimeTypeSpeed) {
        controls.setText(kIdSpeedValue, std::to_string(controlInt(controls, kIdSpeedValue)));
        return true;
    }
    return isTimeStamp(controls.text(kIdSpeedValue));
}

const std::vector<std::string>& keyFrameMenuEntries() {
    static const std::vector<std::string> entries = {"First", "Last",  "1/2",
                                                     "3/4",   "7/8",   "15/16",
                                                     "31/32", "63/64", "From file name number..."};
    return entries;
}

int keyFrameMenuValue(int entry, int keyFrameCount) {
    // The multiplication comes first, in 64 bits so that no count can overflow it.
    const long long n = keyFrameCount;
    switch (entry) {
        case 0:
            return 0;
        case 1:
            return static_cast<int>(n - 1);
        case 2:
            return static_cast<int>(n / 2);
        case 3:
            return static_cast<int>(3 * n / 4);
        case 4:
            return static_cast<int>(7 * n / 8);
        case 5:
            return static_cast<int>(15 * n / 16);
        case 6:
            return static_cast<int>(31 * n / 32);
        case 7:
            return static_cast<int>(63 * n / 64);
        default:
            return 0;
    }
}

std::optional<int> keyFrameFromFileNumber(int fileNumber, int keyFrameCount) {
    const long long keyFrame = static_cast<long long>(keyFrameCount) - fileNumber;
    if (keyFrame < 0 || keyFrame > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(keyFrame);
}

unsigned nearestPrimeAtOrBelow(unsigned value) {
    // A divisor up to value / 2 exists exactly when one up to the square root does, so the
    // search stops at the square root: the same answer, without minutes of work for large
    // periods.
    for (; value > 0; --value) {
        bool prime = true;
        for (unsigned long long m = 2; m * m <= value; ++m) {
            if (value % m == 0) {
                prime = false;
                break;
            }
        }
        if (prime) {
            return value;
        }
    }
    return 0;
}

unsigned readUnsigned(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    if (i < text.size() && text[i] == '+') {
        ++i;
    }
    unsigned long long value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
        if (value > UINT_MAX) {
            return UINT_MAX;
        }
    }
    return static_cast<unsigned>(value);
}

std::vector<std::string> randomWaveLines(const std::function<int()>& random) {
    std::vector<std::string> lines;
    for (const char* letter : {"H", "S", "B"}) {
        const unsigned period = nearestPrimeAtOrBelow(static_cast<unsigned>(random() % 2000));
        lines.push_back(std::string(letter) + "\t" + std::to_string(period));
    }
    return lines;
}

std::string waveTypeLetter(int entry) {
    static const char* const letters[] = {"H", "S", "B", "W"};
    return entry >= 0 && entry < 4 ? letters[entry] : "";
}

int waveTypeEntry(std::string_view line) {
    if (line.empty()) {
        return -1;
    }
    switch (line[0]) {
        case 'H':
            return 0;
        case 'S':
            return 1;
        case 'B':
            return 2;
        case 'W':
            return 3;
        default:
            return -1;
    }
}

}  // namespace zr
