#include "support/text_table.h"
#include "support/text_match.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include "support/guarded_alloc.h"

namespace zr {

namespace {

constexpr std::uint32_t kMissingHash = 0xFFFFFFFFu;
constexpr int kMinIndexSize = 64919;  // a prime
constexpr int kIndexHeadroom = 10000;
// An index never grows beyond this many slots (256 MiB of row numbers), whatever the hint.
constexpr std::int64_t kMaxIndexSize = std::int64_t{1} << 26;
constexpr std::size_t kMaxCellLength = static_cast<std::size_t>(INT32_MAX) - 1;

// Owns one guarded block for the length of a scope.
template <typename T>
class GuardedArray {
  public:
    GuardedArray(GuardedAllocator& memory, std::size_t count)
        : memory_(memory),
          data_(static_cast<T*>(memory.allocate(std::max<std::size_t>(count, 1) * sizeof(T)))) {}
    ~GuardedArray() { memory_.release(data_); }
    GuardedArray(const GuardedArray&) = delete;
    GuardedArray& operator=(const GuardedArray&) = delete;
    T& operator[](std::size_t i) { return data_[i]; }
    T* get() { return data_; }

  private:
    GuardedAllocator& memory_;
    T* data_;
};

// Grows `array` (a guarded block or null) so that it holds `count` entries of T.
template <typename T>
void growArray(GuardedAllocator& memory, T*& array, std::size_t count) {
    array = static_cast<T*>(memory.reallocate(array, count * sizeof(T)));
}

bool isPrime(std::int64_t n) {
    if (n < 2) {
        return false;
    }
    for (std::int64_t d = 2; d * d <= n; ++d) {
        if (n % d == 0) {
            return false;
        }
    }
    return true;
}

int indexSizeFor(int sizeHint, int rowCount) {
    std::int64_t size = sizeHint;
    if (size < std::int64_t{rowCount} + 10) {
        size = 2 * std::int64_t{rowCount};
    }
    if (size < kMinIndexSize) {
        return kMinIndexSize;
    }
    size = std::min(size, kMaxIndexSize) + kMinIndexSize;
    while (!isPrime(size)) {
        ++size;
    }
    return static_cast<int>(size);
}

// The leading decimal number of a text, 0 when it has none: blanks, a sign, digits with an
// optional point and exponent. The decimal point is always "." whatever the locale.
double leadingNumber(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        return 0.0;  // a second sign is no number
    }
    double value = 0.0;
    const char* begin = text.data() + pos;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        // Too large or too small for a double: infinity, or 0 for a vanishing value.
        const std::string_view number(begin, static_cast<std::size_t>(stop - begin));
        const std::size_t exponent = number.find_first_of("eE");
        const std::string_view mantissa = number.substr(0, exponent);
        const bool negativeExponent = exponent != std::string_view::npos &&
                                      exponent + 1 < number.size() && number[exponent + 1] == '-';
        const bool wholePartZero =
            mantissa.substr(0, mantissa.find('.')).find_first_not_of('0') == std::string_view::npos;
        const bool vanishing =
            exponent == std::string_view::npos ? wholePartZero : negativeExponent;
        value = vanishing ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (error != std::errc()) {
        value = 0.0;
    }
    if (std::isnan(value)) {
        value = 0.0;  // keeps the order of rows a total one
    }
    return negative ? -value : value;
}

std::size_t lengthOf(const char* text, int length) {
    if (text == nullptr) {
        return 0;
    }
    return length < 0 ? std::strlen(text) : static_cast<std::size_t>(length);
}

// Quicksort of positions with the median of the first, middle and last as pivot. `before` must
// be a strict total order, so the result does not depend on how the parts are split. The
// smaller part is sorted by recursion and the larger one by the loop, so the stack stays
// shallow whatever the input.
template <typename Before>
void quicksort(int* order, int low, int high, const Before& before) {
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (before(order[middle], order[low])) {
            std::swap(order[middle], order[low]);
        }
        if (before(order[high], order[low])) {
            std::swap(order[high], order[low]);
        }
        if (before(order[high], order[middle])) {
            std::swap(order[high], order[middle]);
        }
        if (high - low < 3) {
            return;  // three or fewer positions are ordered by the median step itself
        }
        const int pivot = order[middle];
        int i = low;
        int j = high;
        while (i <= j) {
            while (before(order[i], pivot)) {
                ++i;
            }
            while (before(pivot, order[j])) {
                --j;
            }
            if (i <= j) {
                std::swap(order[i], order[j]);
                ++i;
                --j;
            }
        }
        if (j - low < high - i) {
            quicksort(order, low, j, before);
            low = i;
        } else {
            quicksort(order, i, high, before);
            high = j;
        }
    }
}

}  // namespace

std::uint32_t cellHash(std::string_view text) {
    std::uint32_t hash = 0;
    for (const char c : text) {
        const auto byte = static_cast<std::int32_t>(static_cast<signed char>(c));
        hash = hash * 217u + static_cast<std::uint32_t>(byte);
    }
    return hash;
}

// ---------------------------------------------------------------------------------------------
// TextList

TextList::~TextList() {
    clearCells();
}

TextList::TextList(TextList&& other) noexcept
    : cells_(std::exchange(other.cells_, nullptr)),
      lengths_(std::exchange(other.lengths_, nullptr)),
      hashes_(std::exchange(other.hashes_, nullptr)),
      count_(std::exchange(other.count_, 0)),
      memory_(std::move(other.memory_)) {}

TextList& TextList::operator=(TextList&& other) noexcept {
    if (this != &other) {
        clearCells();
        cells_ = std::exchange(other.cells_, nullptr);
        lengths_ = std::exchange(other.lengths_, nullptr);
        hashes_ = std::exchange(other.hashes_, nullptr);
        count_ = std::exchange(other.count_, 0);
        memory_ = std::move(other.memory_);
    }
    return *this;
}

void TextList::appendBytes(const char* text, std::size_t length) {
    if (length > kMaxCellLength) {
        throw std::length_error("text cell too long");
    }
    const auto newCount = static_cast<std::size_t>(count_) + 1;
    growArray(memory_, cells_, newCount);
    growArray(memory_, lengths_, newCount);
    growArray(memory_, hashes_, newCount);
    auto* copy = static_cast<char*>(memory_.allocate(length + 1));
    if (length > 0) {
        std::memcpy(copy, text, length);
    }
    copy[length] = '\0';
    cells_[count_] = copy;
    lengths_[count_] = static_cast<std::int32_t>(length);
    hashes_[count_] = zr::cellHash(std::string_view(copy, length));
    ++count_;
}

int TextList::appendText(const char* text, int length) {
    appendBytes(text, lengthOf(text, length));
    return 1;
}

int TextList::appendText(std::string_view text) {
    appendBytes(text.data(), text.size());
    return 1;
}

int TextList::appendInt(std::int32_t value) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    appendBytes(digits, static_cast<std::size_t>(result.ptr - digits));
    return 1;
}

const char* TextList::cell(int i) const {
    return i >= 0 && i < count_ ? cells_[i] : "";
}

const char* TextList::cell(int i, int& length) const {
    if (i < 0 || i >= count_) {
        length = 0;
        return "";
    }
    length = lengths_[i];
    return cells_[i];
}

std::string_view TextList::cellView(int i) const {
    if (i < 0 || i >= count_) {
        return {};
    }
    return {cells_[i], static_cast<std::size_t>(lengths_[i])};
}

std::uint32_t TextList::cellHash(int i) const {
    return i >= 0 && i < count_ ? hashes_[i] : kMissingHash;
}

std::string TextList::join(std::string_view separator) const {
    std::size_t total = 0;
    for (int i = 0; i < count_; ++i) {
        total += static_cast<std::size_t>(lengths_[i]) + (i > 0 ? separator.size() : 0);
    }
    std::string text;
    text.reserve(total);
    for (int i = 0; i < count_; ++i) {
        if (i > 0) {
            text.append(separator);
        }
        text.append(cells_[i], static_cast<std::size_t>(lengths_[i]));
    }
    return text;
}

void TextList::clearCells() {
    for (int i = 0; i < count_; ++i) {
        memory_.release(cells_[i]);
    }
    memory_.release(cells_);
    memory_.release(lengths_);
    memory_.release(hashes_);
    cells_ = nullptr;
    lengths_ = nullptr;
    hashes_ = nullptr;
    count_ = 0;
}

// ---------------------------------------------------------------------------------------------
// TextTable

TextTable::TextTable() = default;

TextTable::TextTable(const char* text, const char* cellSeparator, const char* rowSeparator) {
    parse(text, cellSeparator, rowSeparator);
}

TextTable::~TextTable() {
    releaseAll();
}

TextTable::TextTable(TextTable&& other) noexcept
    : rows_(std::exchange(other.rows_, nullptr)),
      rowCount_(std::exchange(other.rowCount_, 0)),
      maxColumns_(std::exchange(other.maxColumns_, 0)),
      sortOrder_(std::exchange(other.sortOrder_, nullptr)),
      index_(std::exchange(other.index_, nullptr)),
      indexSize_(std::exchange(other.indexSize_, 0)),
      indexedColumn_(std::exchange(other.indexedColumn_, -1)),
      lastSlot_(std::exchange(other.lastSlot_, -1)),
      indexStale_(std::exchange(other.indexStale_, false)),
      rowsAtIndexBuild_(std::exchange(other.rowsAtIndexBuild_, 0)),
      memory_(std::move(other.memory_)) {}

TextTable& TextTable::operator=(TextTable&& other) noexcept {
    if (this != &other) {
        releaseAll();
        rows_ = std::exchange(other.rows_, nullptr);
        rowCount_ = std::exchange(other.rowCount_, 0);
        maxColumns_ = std::exchange(other.maxColumns_, 0);
        sortOrder_ = std::exchange(other.sortOrder_, nullptr);
        index_ = std::exchange(other.index_, nullptr);
        indexSize_ = std::exchange(other.indexSize_, 0);
        indexedColumn_ = std::exchange(other.indexedColumn_, -1);
        lastSlot_ = std::exchange(other.lastSlot_, -1);
        indexStale_ = std::exchange(other.indexStale_, false);
        rowsAtIndexBuild_ = std::exchange(other.rowsAtIndexBuild_, 0);
        memory_ = std::move(other.memory_);
    }
    return *this;
}

void TextTable::releaseAll() {
    while (rowCount_ > 0) {
        removeLastRow();
    }
    memory_.release(rows_);
    memory_.release(sortOrder_);
    memory_.release(index_);
    rows_ = nullptr;
    sortOrder_ = nullptr;
    index_ = nullptr;
    indexSize_ = 0;
    indexedColumn_ = -1;
    lastSlot_ = -1;
    indexStale_ = false;
    maxColumns_ = 0;
}

int TextTable::addRow() {
    if (rowCount_ == INT32_MAX) {
        throw std::length_error("too many rows");
    }
    growArray(memory_, rows_, static_cast<std::size_t>(rowCount_) + 1);
    void* memory = memory_.allocate(sizeof(TextList));
    rows_[rowCount_] = std::construct_at(static_cast<TextList*>(memory));
    return ++rowCount_;
}

void TextTable::removeLastRow() {
    --rowCount_;
    std::destroy_at(rows_[rowCount_]);
    memory_.release(rows_[rowCount_]);
    rows_[rowCount_] = nullptr;
}

std::int64_t TextTable::bytesHeld() const {
    std::int64_t bytes = memory_.stats().bytesInUse.load() + emptyRow_.memory_.stats().bytesInUse;
    for (int i = 0; i < rowCount_; ++i) {
        bytes += rows_[i]->memory_.stats().bytesInUse.load();
    }
    return bytes;
}

const TextList& TextTable::row(int i) const {
    return i >= 0 && i < rowCount_ ? *rows_[i] : emptyRow_;
}

int TextTable::columnCount(int i) const {
    if (i == -1) {
        return maxColumns_;
    }
    return i >= 0 && i < rowCount_ ? rows_[i]->cellCount() : 0;
}

void TextTable::appendCellBytes(int rowNumber, const char* text, std::size_t length) {
    TextList& list = *rows_[rowNumber];
    list.appendBytes(text, length);
    maxColumns_ = std::max(maxColumns_, list.cellCount());
    // The index learns of a row when it receives its cell in the indexed column. A stale index
    // is left alone: the next find rebuilds it from all rows anyway, and adding to it would
    // let the entries of removed rows pile up until no slot is free. A row that was already
    // there when the index was built went in without that cell: adding it again would have
    // find give it twice, so the index is built again instead.
    if (index_ != nullptr && !indexStale_ && list.cellCount() == indexedColumn_ + 1) {
        if (rowNumber < rowsAtIndexBuild_) {
            indexStale_ = true;
        } else if (rowCount_ < indexSize_ - kIndexHeadroom) {
            insertIntoIndex(rowNumber);
        } else {
            buildIndex(indexedColumn_, -1);
        }
    }
}

int TextTable::appendCell(int rowNumber, const char* text, int length) {
    if (rowNumber < 0 || rowNumber >= rowCount_) {
        return 0;
    }
    appendCellBytes(rowNumber, text, lengthOf(text, length));
    return 1;
}

int TextTable::appendCell(int rowNumber, std::string_view text) {
    if (rowNumber < 0 || rowNumber >= rowCount_) {
        return 0;
    }
    appendCellBytes(rowNumber, text.data(), text.size());
    return 1;
}

int TextTable::appendCellInt(int rowNumber, std::int32_t value) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    return appendCell(rowNumber, digits, static_cast<int>(result.ptr - digits));
}

int TextTable::removeRow(int i) {
    if (i < 0 || i >= rowCount_) {
        return 0;
    }
    TextList* removed = rows_[i];
    std::memmove(rows_ + i, rows_ + i + 1,
                 sizeof(TextList*) * static_cast<std::size_t>(rowCount_ - i - 1));
    --rowCount_;
    std::destroy_at(removed);
    memory_.release(removed);
    indexStale_ = true;
    return 1;
}

void TextTable::clear() {
    while (rowCount_ > 0) {
        removeLastRow();
    }
    if (indexedColumn_ >= 0) {
        buildIndex(indexedColumn_, -1);
    }
}

int TextTable::parse(const char* text, const char* cellSeparator, const char* rowSeparator) {
    if (text == nullptr) {
        return 0;
    }
    return parse(std::string_view(text), cellSeparator ? cellSeparator : std::string_view(),
                 rowSeparator ? rowSeparator : std::string_view());
}

int TextTable::parse(std::string_view text, std::string_view cellSeparator,
                     std::string_view rowSeparator) {
    if (text.data() == nullptr && !text.empty()) {
        return 0;
    }
    const auto startsAt = [&text](std::size_t pos, std::string_view separator) {
        return !separator.empty() && text.size() - pos >= separator.size() &&
               text.compare(pos, separator.size(), separator) == 0;
    };
    addRow();
    std::size_t cellStart = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const bool endsRow = startsAt(pos, rowSeparator);
        if (!endsRow && !startsAt(pos, cellSeparator)) {
            ++pos;
            continue;
        }
        appendCellBytes(rowCount_ - 1, text.data() + cellStart, pos - cellStart);
        if (endsRow) {
            addRow();
        }
        pos += endsRow ? rowSeparator.size() : cellSeparator.size();
        cellStart = pos;
    }
    if (cellStart < text.size()) {
        appendCellBytes(rowCount_ - 1, text.data() + cellStart, text.size() - cellStart);
    } else if (rows_[rowCount_ - 1]->cellCount() == 0) {
        removeLastRow();
    }
    return 1;
}

void TextTable::sort(int column, bool descending, bool numeric, int first, int last) {
    if (rowCount_ == 0 || first >= rowCount_ || first == last) {
        return;
    }
    first = std::max(first, 0);
    if (last < 0 || last >= rowCount_) {
        last = rowCount_ - 1;
    }
    if (first >= last) {
        return;
    }
    sortRange(column, descending, numeric, first, last);
    if (index_ != nullptr) {
        indexStale_ = true;  // rows moved under the index
    }
}

void TextTable::sortRange(int column, bool descending, bool numeric, int first, int last) {
    const auto count = static_cast<std::size_t>(last - first + 1);
    // Every row's position before the sort, which breaks ties between equal rows.
    growArray(memory_, sortOrder_, count);
    for (std::size_t i = 0; i < count; ++i) {
        sortOrder_[i] = static_cast<int>(i);
    }
    GuardedArray<double> numbers(memory_, numeric ? count : 0);
    if (numeric) {
        for (std::size_t i = 0; i < count; ++i) {
            numbers[i] = leadingNumber(rows_[first + static_cast<int>(i)]->cellView(column));
        }
    }
    const auto before = [&](int a, int b) {
        int order = 0;
        if (numeric) {
            order = numbers[a] < numbers[b] ? -1 : (numbers[b] < numbers[a] ? 1 : 0);
        } else {
            order = compareIgnoringCase(rows_[first + a]->cellView(column),
                                        rows_[first + b]->cellView(column));
        }
        if (descending) {
            order = -order;
        }
        return order != 0 ? order < 0 : a < b;
    };
    quicksort(sortOrder_, 0, static_cast<int>(count) - 1, before);

    GuardedArray<TextList*> sorted(memory_, count);
    for (std::size_t i = 0; i < count; ++i) {
        sorted[i] = rows_[first + sortOrder_[i]];
    }
    std::memcpy(rows_ + first, sorted.get(), count * sizeof(TextList*));
    memory_.release(sortOrder_);
    sortOrder_ = nullptr;
}

void TextTable::buildIndex(int column, int sizeHint) {
    memory_.release(index_);
    index_ = nullptr;
    indexedColumn_ = column;
    lastSlot_ = -1;
    indexSize_ = indexSizeFor(sizeHint, rowCount_);
    index_ =
        static_cast<int*>(memory_.allocate(static_cast<std::size_t>(indexSize_) * sizeof(int)));
    // Every byte 0xFF: every slot -1, free.
    std::memset(index_, 0xff, static_cast<std::size_t>(indexSize_) * sizeof(int));
    for (int i = 0; i < rowCount_; ++i) {
        insertIntoIndex(i);
    }
    indexStale_ = false;
    rowsAtIndexBuild_ = rowCount_;
}

void TextTable::insertIntoIndex(int rowNumber) {
    const std::uint32_t hash = rows_[rowNumber]->cellHash(indexedColumn_);
    auto slot = static_cast<int>(hash % static_cast<std::uint32_t>(indexSize_));
    while (index_[slot] != -1) {
        slot = slot + 1 == indexSize_ ? 0 : slot + 1;
    }
    index_[slot] = rowNumber;
}

bool TextTable::cellEquals(int rowNumber, int column, std::string_view key) const {
    return row(rowNumber).cellView(column) == key;
}

int TextTable::find(int column, const char* key, int keyLength, int previous) {
    return find(column, std::string_view(key != nullptr ? key : "", lengthOf(key, keyLength)),
                previous);
}

int TextTable::find(int column, std::string_view wanted, int previous) {
    if (index_ == nullptr || rowCount_ == 0 || column != indexedColumn_) {
        return -1;
    }
    if (indexStale_) {
        buildIndex(indexedColumn_, -1);
    }
    const auto next = [this](int slot) { return slot + 1 == indexSize_ ? 0 : slot + 1; };
    // The index always keeps free slots, so each walk below ends; the step limit only guards
    // against an index that is full after all.
    int slot = 0;
    int steps = 0;
    if (previous == -1) {
        const std::uint32_t hash = cellHash(wanted);
        slot = static_cast<int>(hash % static_cast<std::uint32_t>(indexSize_));
        while (rowAtSlot(slot) != -1 && row(rowAtSlot(slot)).cellHash(column) != hash &&
               steps++ < indexSize_) {
            slot = next(slot);
        }
        while (rowAtSlot(slot) != -1 && !cellEquals(rowAtSlot(slot), column, wanted) &&
               steps++ < indexSize_) {
            slot = next(slot);
        }
    } else {
        if (lastSlot_ < 0 || rowAtSlot(lastSlot_) != previous) {
            return -1;
        }
        slot = next(lastSlot_);
        while (rowAtSlot(slot) != -1 && !cellEquals(rowAtSlot(slot), column, wanted) &&
               steps++ < indexSize_) {
            slot = next(slot);
        }
    }
    if (steps > indexSize_) {
        lastSlot_ = -1;
        return -1;
    }
    lastSlot_ = slot;
    return rowAtSlot(slot);
}

}  // namespace zr
