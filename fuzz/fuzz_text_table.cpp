// Text tables: parsing with any separators, sorting, the hash index, finding, removing rows
// (before or after the index is built), appending cells and joining rows.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/text_table.h"

namespace {

// Every row that find gives holds the key in the column, and each is given once at most.
void findAll(zr::TextTable& table, int column, const std::string& key) {
    int found = 0;
    for (int row = table.find(column, key); row >= 0 && found <= table.rowCount();
         row = table.find(column, key, row)) {
        if (table.cell(row, column) != key) {
            __builtin_trap();
        }
        ++found;
    }
    if (found > table.rowCount()) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string cellSeparator = input.ConsumeRandomLengthString(3);
    const std::string rowSeparator = input.ConsumeRandomLengthString(3);
    const std::string key = input.ConsumeRandomLengthString(8);
    const int column = input.ConsumeIntegralInRange(-1, 4);
    // Hints below the smallest index size keep every index at that size: larger ones only
    // search for a larger prime, which makes each input slower.
    const int sizeHint = input.ConsumeIntegralInRange(-1, 1000);
    const bool descending = input.ConsumeBool();
    const bool numeric = input.ConsumeBool();
    const int first = input.ConsumeIntegralInRange(-1, 8);
    const int last = input.ConsumeIntegralInRange(-2, 64);
    const int removed = input.ConsumeIntegralInRange(-1, 8);
    const bool removeAfterIndexing = input.ConsumeBool();
    // Every index has at least 64919 slots: building one takes most of an input's time, so
    // half the inputs go without.
    const bool indexed = input.ConsumeBool();
    const std::string text = input.ConsumeRemainingBytesAsString();

    zr::TextTable table;
    table.parse(text, cellSeparator, rowSeparator);
    if (!removeAfterIndexing) {
        table.removeRow(removed);
    }
    table.sort(column, descending, numeric, first, last);
    if (indexed) {
        table.buildIndex(column, sizeHint);
    }
    if (removeAfterIndexing) {
        table.removeRow(removed);  // the next find builds the index again
    }
    findAll(table, column, key);
    if (table.rowCount() > 0) {
        table.appendCell(table.rowCount() - 1, key);
    }
    findAll(table, column, key);
    std::string joined;
    for (int row = 0; row < table.rowCount(); ++row) {
        joined += table.row(row).join(cellSeparator);
        joined += rowSeparator;
    }
    return 0;
}
