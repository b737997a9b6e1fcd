#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/guarded_alloc.h"

namespace zr {

// The hash of a cell: h = h * 217 + b over its bytes taken as signed, wrapping at 32 bits.
std::uint32_t cellHash(std::string_view text);

// One row of text cells. Cells hold exactly the bytes they were given (a cell may be empty)
// and are stored in guarded blocks with a terminating zero byte.
class TextList {
  public:
    TextList() = default;
    ~TextList();
    TextList(const TextList&) = delete;
    TextList& operator=(const TextList&) = delete;
    TextList(TextList&& other) noexcept;
    TextList& operator=(TextList&& other) noexcept;

    // Appends a copy of `length` bytes of `text` (nullptr counts as ""; -1 means up to the
    // first zero byte). Returns 1.
    int appendText(const char* text, int length = -1);
    int appendText(std::string_view text);
    int appendInt(std::int32_t value);

    // Cell i; "" (length 0) for an index out of range.
    const char* cell(int i) const;
    const char* cell(int i, int& length) const;
    std::string_view cellView(int i) const;
    // The stored hash of cell i, or 0xFFFFFFFF (-1) for an index out of range.
    std::uint32_t cellHash(int i) const;
    int cellCount() const { return count_; }

    // All cells in order with `separator` between neighbours.
    std::string join(std::string_view separator) const;
    void clearCells();

  private:
    friend class TextTable;
    // Appends `length` bytes of `text` (which must hold them).
    void appendBytes(const char* text, std::size_t length);

    char** cells_ = nullptr;
    std::int32_t* lengths_ = nullptr;
    std::uint32_t* hashes_ = nullptr;
    int count_ = 0;
    GuardedAllocator memory_;  // the blocks of the cells and their tables
};

// A table of TextList rows, parsed from text, sorted stably on a column, searched through a
// hash index on one column, and joined back into text.
class TextTable {
  public:
    TextTable();
    // An empty table followed by parse(text, cellSeparator, rowSeparator).
    TextTable(const char* text, const char* cellSeparator, const char* rowSeparator);
    ~TextTable();
    TextTable(const TextTable&) = delete;
    TextTable& operator=(const TextTable&) = delete;
    TextTable(TextTable&& other) noexcept;
    TextTable& operator=(TextTable&& other) noexcept;

    // Appends an empty row; returns the new row count.
    int addRow();
    // Row i, or an empty row for an index out of range.
    const TextList& row(int i) const;
    int rowCount() const { return rowCount_; }
    // Cell count of row i; for i = -1 the largest cell count any row reached through appendCell.
    int columnCount(int i) const;
    // Cell `column` of row `row`, "" when either is out of range.
    std::string_view cell(int row, int column) const { return this->row(row).cellView(column); }

    // Append a cell to row `row` (0 and nothing done for a row out of range); keeps the index.
    int appendCell(int row, const char* text, int length = -1);
    int appendCell(int row, std::string_view text);
    int appendCellInt(int row, std::int32_t value);
    // Removes row i and marks the index stale; 0 for an index out of range, else 1.
    int removeRow(int i);
    // Removes every row, the last first; rebuilds the (empty) index when one is set.
    void clear();

    // Appends the rows and cells of `text`; an empty or null separator is not used. Returns 0
    // for a null text, else 1.
    int parse(const char* text, const char* cellSeparator, const char* rowSeparator);
    int parse(std::string_view text, std::string_view cellSeparator, std::string_view rowSeparator);

    // Stable sort of rows first..last (last -1: the last row) on `column`: numeric compares
    // the leading decimal number of the cells, otherwise text without regard to letter case.
    // Moving rows makes the hash index stale; the next find rebuilds it.
    void sort(int column, bool descending, bool numeric, int first = 0, int last = -1);

    // Hash index on `column`: at least 64919 slots (a prime), at least 10000 more than rows.
    // A row without the column is indexed under the hash 0xFFFFFFFF.
    void buildIndex(int column, int sizeHint = -1);
    // The row whose cell in `column` equals `key`, or -1. `previous` = -1 finds the first
    // match; the row number returned by the last call finds the next one.
    // Mind the overloads: find(c, "text", row) takes `row` as the key's length. Ask for the
    // next match with a std::string_view key, or give all four arguments.
    int find(int column, const char* key, int keyLength = -1, int previous = -1);
    int find(int column, std::string_view key, int previous = -1);
    int indexSize() const { return indexSize_; }
    // Bytes of the guarded blocks the table and its rows hold now.
    std::int64_t bytesHeld() const;
    int indexedColumn() const { return indexedColumn_; }

  private:
    void insertIntoIndex(int rowNumber);
    void sortRange(int column, bool descending, bool numeric, int first, int last);
    void appendCellBytes(int row, const char* text, std::size_t length);
    void removeLastRow();
    void releaseAll();
    int rowAtSlot(int slot) const { return index_[slot]; }
    bool cellEquals(int rowNumber, int column, std::string_view key) const;

    TextList** rows_ = nullptr;
    TextList emptyRow_;
    int rowCount_ = 0;
    int maxColumns_ = 0;
    int* sortOrder_ = nullptr;
    int* index_ = nullptr;
    int indexSize_ = 0;
    int indexedColumn_ = -1;
    int lastSlot_ = -1;
    bool indexStale_ = false;
    int rowsAtIndexBuild_ = 0;  // rows 0 ... this - 1 went into the index when it was built
    GuardedAllocator memory_;   // the blocks of the rows, the sort order and the index
};

}  // namespace zr
