#include "support/text_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/guarded_alloc.h"

namespace zr {
namespace {

using namespace std::string_view_literals;

// The rows of a table as vectors of cell texts.
std::vector<std::vector<std::string>> contents(const TextTable& table) {
    std::vector<std::vector<std::string>> rows;
    for (int r = 0; r < table.rowCount(); ++r) {
        std::vector<std::string> cells;
        for (int c = 0; c < table.columnCount(r); ++c) {
            cells.emplace_back(table.cell(r, c));
        }
        rows.push_back(cells);
    }
    return rows;
}

using Rows = std::vector<std::vector<std::string>>;

std::vector<std::string> column(const TextTable& table, int c) {
    std::vector<std::string> cells;
    for (int r = 0; r < table.rowCount(); ++r) {
        cells.emplace_back(table.cell(r, c));
    }
    return cells;
}

bool isPrime(int n) {
    for (int d = 2; d <= n / 2; ++d) {
        if (n % d == 0) {
            return false;
        }
    }
    return n >= 2;
}

TEST(TextList, HashesAreSignedByteHornerSums) {
    EXPECT_EQ(cellHash(""), 0u);
    EXPECT_EQ(cellHash("a"), 97u);
    EXPECT_EQ(cellHash("ab"), 21147u);
    EXPECT_EQ(cellHash("\xE9"), static_cast<std::uint32_t>(-23));
    EXPECT_EQ(cellHash("\xE9z"), static_cast<std::uint32_t>(-23) * 217u + 122u);
    // Long texts wrap at 32 bits rather than saturating.
    std::uint32_t expected = 0;
    for (int i = 0; i < 40; ++i) {
        expected = expected * 217u + 'q';
    }
    EXPECT_EQ(cellHash(std::string(40, 'q')), expected);

    TextList list;
    list.appendText("ab");
    list.appendText("");
    EXPECT_EQ(list.cellHash(0), 21147u);
    EXPECT_EQ(list.cellHash(1), 0u);
    EXPECT_EQ(list.cellHash(2), 0xFFFFFFFFu);
    EXPECT_EQ(list.cellHash(-1), 0xFFFFFFFFu);
}

TEST(TextList, CellsHoldExactlyTheirBytes) {
    TextList list;
    list.appendText("hello world", 5);
    list.appendText("up to zero\0hidden", -1);
    list.appendText(nullptr, 12);
    list.appendText(std::string_view("a\0b", 3));
    list.appendInt(INT32_MIN);
    list.appendInt(0);
    ASSERT_EQ(list.cellCount(), 6);
    EXPECT_EQ(list.cellView(0), "hello");
    EXPECT_STREQ(list.cell(0), "hello");  // zero-terminated after the copied bytes
    EXPECT_EQ(list.cellView(1), "up to zero");
    EXPECT_EQ(list.cellView(2), "");
    EXPECT_EQ(list.cellView(3), std::string_view("a\0b", 3));
    EXPECT_EQ(list.cellView(4), "-2147483648");
    EXPECT_EQ(list.cellView(5), "0");

    int length = 99;
    EXPECT_STREQ(list.cell(3, length), "a");
    EXPECT_EQ(length, 3);
    EXPECT_STREQ(list.cell(6, length), "");
    EXPECT_EQ(length, 0);
    EXPECT_STREQ(list.cell(-1), "");

    EXPECT_EQ(list.join(", "), std::string("hello, up to zero, , a\0b, -2147483648, 0", 40));
    TextList moved(std::move(list));
    EXPECT_EQ(moved.cellCount(), 6);
    EXPECT_EQ(list.cellCount(), 0);  // NOLINT(bugprone-use-after-move): moved-from is empty
    moved.clearCells();
    EXPECT_EQ(moved.cellCount(), 0);
    EXPECT_EQ(moved.join("-"), "");
}

TEST(TextTable, ReleasesEveryBlockItOwns) {
    const std::int64_t inUseBefore = guardedAllocStats().bytesInUse.load();
    {
        TextTable table("a\tb\nc\td\te\n", "\t", "\n");
        table.buildIndex(0);
        table.sort(1, true, false);
        table.removeRow(0);
        TextTable moved(std::move(table));
        moved.appendCell(0, "x");
    }
    EXPECT_EQ(guardedAllocStats().bytesInUse.load(), inUseBefore);
}

TEST(TextTableParse, ShapesOfRowsAndCells) {
    EXPECT_EQ(contents(TextTable("a\tb\nc\n", "\t", "\n")), (Rows{{"a", "b"}, {"c"}}));
    EXPECT_EQ(contents(TextTable("x,,y", ",", nullptr)), (Rows{{"x", "", "y"}}));
    EXPECT_EQ(contents(TextTable("x,,y", ",", "")), (Rows{{"x", "", "y"}}));
    EXPECT_EQ(TextTable("", "\t", "\n").rowCount(), 0);
    // A trailing cell separator leaves no empty cell; a lone row separator leaves one.
    EXPECT_EQ(contents(TextTable("a\tb\t", "\t", "\n")), (Rows{{"a", "b"}}));
    EXPECT_EQ(contents(TextTable("\n", "\t", "\n")), (Rows{{""}}));
    EXPECT_EQ(contents(TextTable("\n\n", "\t", "\n")), (Rows{{""}, {""}}));
    EXPECT_EQ(contents(TextTable("a\t\n\tb", "\t", "\n")), (Rows{{"a", ""}, {"", "b"}}));
    // Separators of several bytes; the row separator wins where both begin.
    EXPECT_EQ(contents(TextTable("k: v\r\nk2: v2", ": ", "\r\n")),
              (Rows{{"k", "v"}, {"k2", "v2"}}));
    EXPECT_EQ(contents(TextTable("a\rb\r\nc", "\r", "\r\n")), (Rows{{"a", "b"}, {"c"}}));
    EXPECT_EQ(contents(TextTable("a||b", "|", "||")), (Rows{{"a"}, {"b"}}));
    // A separator cut short at the end of the text is ordinary text.
    EXPECT_EQ(contents(TextTable("a<>b<", "<>", nullptr)), (Rows{{"a", "b<"}}));
    // No separators at all: the whole text is one cell.
    EXPECT_EQ(contents(TextTable("a\tb\n", nullptr, nullptr)), (Rows{{"a\tb\n"}}));

    TextTable table;
    EXPECT_EQ(table.parse(nullptr, "\t", "\n"), 0);
    EXPECT_EQ(table.rowCount(), 0);
    // parse appends to what the table holds.
    table.parse("1\t2", "\t", "\n");
    table.parse(std::string_view("3\0x\n4", 5), "\t", "\n");
    EXPECT_EQ(contents(table), (Rows{{"1", "2"}, {std::string("3\0x", 3)}, {"4"}}));
    EXPECT_EQ(table.columnCount(-1), 2);
    EXPECT_EQ(table.columnCount(2), 1);
    EXPECT_EQ(table.columnCount(3), 0);
    EXPECT_EQ(table.columnCount(-2), 0);
}

// Splits like parse for distinct single-byte separators, written the obvious way.
Rows splitPlainly(const std::string& text, char cellSeparator, char rowSeparator) {
    Rows rows{{}};
    std::string current;
    for (const char c : text) {
        if (c == rowSeparator || c == cellSeparator) {
            rows.back().push_back(current);
            current.clear();
            if (c == rowSeparator) {
                rows.emplace_back();
            }
        } else {
            current += c;
        }
    }
    if (!current.empty()) {
        rows.back().push_back(current);
    } else if (rows.back().empty()) {
        rows.pop_back();
    }
    return rows;
}

TEST(TextTableParse, AnyBytesParseSafely) {
    std::mt19937 random(12345);
    const std::vector<std::string> separators = {"", "\t", "\n", "\r\n", "ab", "aa", "\0", "x"};
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 64, '\0');
        for (char& c : text) {
            // A small alphabet makes separators and their prefixes common.
            c = "ab\t\n\r\0x\xE9"[random() % 8];
        }
        const std::string& cellSeparator = separators[random() % separators.size()];
        const std::string& rowSeparator = separators[random() % separators.size()];
        for (std::size_t cut = 0; cut <= text.size(); cut += 1 + random() % 8) {
            const std::string truncated = text.substr(0, cut);
            TextTable table;
            ASSERT_EQ(table.parse(truncated, cellSeparator, rowSeparator), 1);
            std::size_t bytesInCells = 0;
            for (int r = 0; r < table.rowCount(); ++r) {
                for (int c = 0; c < table.columnCount(r); ++c) {
                    bytesInCells += table.cell(r, c).size();
                }
            }
            ASSERT_LE(bytesInCells, truncated.size());
            if (cellSeparator.size() == 1 && rowSeparator.size() == 1 &&
                cellSeparator != rowSeparator) {
                ASSERT_EQ(contents(table),
                          splitPlainly(truncated, cellSeparator[0], rowSeparator[0]));
            }
        }
    }
}

TEST(TextTable, RowsOutOfRangeAnswerEmpty) {
    TextTable table("a\tb", "\t", "\n");
    EXPECT_EQ(table.row(5).cellCount(), 0);
    EXPECT_EQ(table.row(-1).cellCount(), 0);
    EXPECT_EQ(table.cell(0, 7), "");
    EXPECT_EQ(table.appendCell(1, "x"), 0);
    EXPECT_EQ(table.appendCell(-1, "x"), 0);
    EXPECT_EQ(table.removeRow(1), 0);
    EXPECT_EQ(table.removeRow(-1), 0);
    EXPECT_EQ(table.addRow(), 2);
    EXPECT_EQ(table.appendCellInt(1, -7), 1);
    EXPECT_EQ(contents(table), (Rows{{"a", "b"}, {"-7"}}));
    EXPECT_EQ(table.removeRow(0), 1);
    EXPECT_EQ(contents(table), (Rows{{"-7"}}));
    table.clear();
    EXPECT_EQ(table.rowCount(), 0);
}

TEST(TextTableIndex, SizesArePrimesWithHeadroom) {
    TextTable table;
    for (int i = 0; i < 100; ++i) {
        table.addRow();
        table.appendCellInt(i, i);
    }
    table.buildIndex(0);
    EXPECT_EQ(table.indexSize(), 64919);
    EXPECT_EQ(table.indexedColumn(), 0);

    for (int i = 100; i < 40000; ++i) {
        table.addRow();
        table.appendCellInt(i, i);
    }
    table.buildIndex(0, -1);
    int expected = 144919;
    while (!isPrime(expected)) {
        ++expected;
    }
    EXPECT_EQ(table.indexSize(), expected);
}

TEST(TextTableIndex, GrowsWhenRowsCloseInOnItsSize) {
    TextTable table;
    table.buildIndex(0);
    ASSERT_EQ(table.indexSize(), 64919);
    constexpr int kRows = 60000;
    for (int i = 0; i < kRows; ++i) {
        table.addRow();
        table.appendCellInt(i, i * 7);
    }
    EXPECT_GT(table.indexSize(), kRows + 10000);
    for (int i = 0; i < kRows; i += 997) {
        ASSERT_EQ(table.find(0, std::to_string(i * 7)), i);
    }
    EXPECT_EQ(table.find(0, "-1"), -1);
    table.clear();
    EXPECT_EQ(table.indexSize(), 64919);
    EXPECT_EQ(table.find(0, "0"), -1);
}

TEST(TextTableIndex, FindWalksDuplicatesInIndexOrder) {
    TextTable table("5\tfirst\n7\tx\n5\tsecond\n\n5\tthird", "\t", "\n");
    EXPECT_EQ(table.find(0, "5"), -1);  // no index yet
    table.buildIndex(0);
    EXPECT_EQ(table.find(1, "x"), -1);  // not the indexed column
    EXPECT_EQ(table.find(0, "5"), 0);
    EXPECT_EQ(table.find(0, "5"sv, 0), 2);
    EXPECT_EQ(table.find(0, "5"sv, 2), 4);
    EXPECT_EQ(table.find(0, "5"sv, 4), -1);
    EXPECT_EQ(table.find(0, "5"sv, 2), -1);  // not the row found last
    EXPECT_EQ(table.find(0, "7"), 1);
    EXPECT_EQ(table.find(0, ""), 3);  // the row with an empty cell
    EXPECT_EQ(table.find(0, "5x"sv, 1), -1);
    EXPECT_EQ(table.find(0, "5x"), -1);
    EXPECT_EQ(table.find(0, "57"sv, 1), -1);

    // Rows appended later join the index as they receive the indexed cell.
    table.addRow();
    EXPECT_EQ(table.find(0, ""), 3);
    table.appendCell(5, "5");
    EXPECT_EQ(table.find(0, "5"sv, 4), -1);  // the last search found row 3, not 4
    EXPECT_EQ(table.find(0, "5"), 0);
    EXPECT_EQ(table.find(0, "5"sv, 0), 2);
    EXPECT_EQ(table.find(0, "5"sv, 2), 4);
    EXPECT_EQ(table.find(0, "5"sv, 4), 5);
    // A key given as a pointer and a length.
    EXPECT_EQ(table.find(0, "7 and more", 1, -1), 1);
}

TEST(TextTableIndex, FindAfterRemovalsAndSortsSeesCurrentRows) {
    TextTable table("a\t1\nb\t2\nc\t3\nb\t4", "\t", "\n");
    table.buildIndex(0);
    ASSERT_EQ(table.find(0, "c"), 2);
    table.removeRow(0);
    EXPECT_EQ(table.find(0, "c"), 1);
    EXPECT_EQ(table.find(0, "b"), 0);
    EXPECT_EQ(table.find(0, "b"sv, 0), 2);
    EXPECT_EQ(table.find(0, "a"), -1);

    table.sort(1, true, true);  // 4, 3, 2
    EXPECT_EQ(table.find(0, "c"), 1);
    EXPECT_EQ(table.find(0, "b"), 0);
    EXPECT_EQ(table.cell(table.find(0, "b"sv, 0), 1), "2");
}

TEST(TextTableIndex, RemovingAndAddingRowsWithoutFindingStaysBounded) {
    TextTable table("0\n1\n2", "\t", "\n");
    table.buildIndex(0);
    // Far more row turnovers than the index has slots.
    for (int i = 3; i < 80000; ++i) {
        table.removeRow(0);
        const int row = table.addRow() - 1;
        table.appendCellInt(row, i);
    }
    EXPECT_EQ(table.find(0, "79999"), 2);
    EXPECT_EQ(table.find(0, "79997"), 0);
    EXPECT_EQ(table.find(0, "5"), -1);
}

TEST(TextTableSort, NumericAndTextOrdersAreStable) {
    TextTable table("10\ta\n9\tb\n10\tc", "\t", "\n");
    table.sort(0, false, true);
    EXPECT_EQ(column(table, 1), (std::vector<std::string>{"b", "a", "c"}));

    TextTable asText("10\ta\n9\tb\n10\tc", "\t", "\n");
    asText.sort(0, false, false);
    EXPECT_EQ(column(asText, 1), (std::vector<std::string>{"a", "c", "b"}));

    TextTable descending("10\ta\n9\tb\n10\tc\n11\td", "\t", "\n");
    descending.sort(0, true, true);
    EXPECT_EQ(column(descending, 1), (std::vector<std::string>{"d", "a", "c", "b"}));

    // Letters compare as lower case, so "_" (0x5F) comes before them and "~" after.
    TextTable cases("b\t1\nA\t2\na\t3\nB\t4\n_\t5\n~\t6\nab\t7", "\t", "\n");
    cases.sort(0, false, false);
    EXPECT_EQ(column(cases, 1), (std::vector<std::string>{"5", "2", "3", "7", "1", "4", "6"}));
}

TEST(TextTableSort, NumbersAreReadLikeLeadingDecimals) {
    TextTable table(" 2.5x\na\n-1e2\n+3\n1e999\n.5\n-\n0x10\n1e-999\nnan", "\t", "\n");
    table.addRow();  // a row without the cell counts as 0
    table.sort(0, false, true);
    EXPECT_EQ(column(table, 0), (std::vector<std::string>{"-1e2", "a", "-", "0x10", "1e-999", "nan",
                                                          "", ".5", " 2.5x", "+3", "1e999"}));
}

TEST(TextTableSort, RangesAndDegenerateOrders) {
    TextTable table("5\n4\n3\n2\n1", "\t", "\n");
    table.sort(0, false, true, 1, 3);
    EXPECT_EQ(column(table, 0), (std::vector<std::string>{"5", "2", "3", "4", "1"}));
    table.sort(0, false, true, 2, 2);
    table.sort(0, false, true, 9, -1);
    table.sort(0, false, true, 3, 1);
    EXPECT_EQ(column(table, 0), (std::vector<std::string>{"5", "2", "3", "4", "1"}));
    table.sort(0, false, true, 0, 99);
    EXPECT_EQ(column(table, 0), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
}

TEST(TextTableSort, MatchesAStableSortOnLargeInputs) {
    std::mt19937 random(7);
    for (const int shape : {0, 1, 2, 3}) {
        TextTable table;
        std::vector<std::pair<int, int>> expected;  // key, row id
        constexpr int kRows = 3000;
        for (int i = 0; i < kRows; ++i) {
            int key = 0;
            switch (shape) {
                case 0:
                    key = static_cast<int>(random() % 50);
                    break;  // many ties
                case 1:
                    key = i;
                    break;  // already sorted
                case 2:
                    key = kRows - i;
                    break;  // reversed
                default:
                    key = 42;
                    break;  // all equal
            }
            table.addRow();
            table.appendCellInt(i, key);
            table.appendCellInt(i, i);
            expected.emplace_back(key, i);
        }
        table.sort(0, true, true);
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        for (int i = 0; i < kRows; ++i) {
            ASSERT_EQ(table.cell(i, 1), std::to_string(expected[i].second))
                << "shape " << shape << " row " << i;
        }
    }
}

}  // namespace
}  // namespace zr
