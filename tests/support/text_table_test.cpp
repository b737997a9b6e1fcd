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

using namespace std::string_literals;
using namespace std::string_view_literals;
using Rows = std::vector<std::vector<std::string>>;
using Column = std::vector<std::string>;

Rows contents(const TextTable& table) {
    Rows rows(table.rowCount());
    for (int r = 0; r < table.rowCount(); ++r) {
        for (int c = 0; c < table.columnCount(r); ++c) {
            rows[r].emplace_back(table.cell(r, c));
        }
    }
    return rows;
}

Column column(const TextTable& table, int c) {
    Column cells;
    for (int r = 0; r < table.rowCount(); ++r) {
        cells.emplace_back(table.cell(r, c));
    }
    return cells;
}

TEST(TextList, HashesAndCellsHoldExactlyTheirBytes) {
    EXPECT_EQ(cellHash(""), 0u);
    EXPECT_EQ(cellHash("a"), 97u);
    EXPECT_EQ(cellHash("ab"), 21147u);
    EXPECT_EQ(cellHash("\xE9z"), static_cast<std::uint32_t>(-23) * 217u + 122u);

    TextList list;
    list.appendText("hello world", 5);
    list.appendText("up to zero\0hidden", -1);
    list.appendText(nullptr, 12);
    list.appendText("a\0b"sv);
    list.appendInt(INT32_MIN);
    EXPECT_STREQ(list.cell(0), "hello");  // zero-terminated after the copied bytes
    EXPECT_EQ(list.cellView(1), "up to zero");
    EXPECT_EQ(list.cellHash(2), 0u);
    int length = 99;
    EXPECT_STREQ(list.cell(3, length), "a");
    EXPECT_EQ(length, 3);
    EXPECT_STREQ(list.cell(5, length), "");
    EXPECT_EQ(length, 0);
    EXPECT_EQ(list.cellHash(5), 0xFFFFFFFFu);
    EXPECT_EQ(list.cellHash(-1), 0xFFFFFFFFu);
    EXPECT_EQ(list.join(", "), "hello, up to zero, , a\0b, -2147483648"sv);
}

TEST(TextTable, ReleasesEveryBlockItOwnsAndAMoveTakesThemAlong) {
    TextTable table("a\tb\nc\td\te\n", "\t", "\n");
    table.buildIndex(0);
    table.sort(1, true, false);
    const std::int64_t held = table.bytesHeld();
    EXPECT_GT(held, 0);
    TextTable moved(std::move(table));
    EXPECT_EQ(table.bytesHeld(), 0);  // NOLINT: a moved-from table is empty
    EXPECT_EQ(moved.bytesHeld(), held);
    moved.clear();
    const std::int64_t emptyHeld = moved.bytesHeld();  // the row table and the index stay
    EXPECT_LT(emptyHeld, held);
    moved.appendCell(moved.addRow() - 1, "a longer cell");
    EXPECT_GT(moved.bytesHeld(), emptyHeld);
    moved.removeRow(0);
    EXPECT_EQ(moved.bytesHeld(), emptyHeld);
}

TEST(TextTableParse, ShapesOfRowsAndCells) {
    EXPECT_EQ(contents(TextTable("a\tb\nc\n", "\t", "\n")), (Rows{{"a", "b"}, {"c"}}));
    EXPECT_EQ(contents(TextTable("x,,y", ",", nullptr)), (Rows{{"x", "", "y"}}));
    EXPECT_EQ(TextTable("", "\t", "\n").rowCount(), 0);
    // A trailing cell separator leaves no empty cell; a lone row separator leaves one.
    EXPECT_EQ(contents(TextTable("a\tb\t", "\t", "\n")), (Rows{{"a", "b"}}));
    EXPECT_EQ(contents(TextTable("\n\n", "\t", "\n")), (Rows{{""}, {""}}));
    // Separators of several bytes; the row separator wins where both begin; a separator cut
    // short by the end of the text is ordinary text.
    EXPECT_EQ(contents(TextTable("k: v\r\nk2: v2", ": ", "\r\n")),
              (Rows{{"k", "v"}, {"k2", "v2"}}));
    EXPECT_EQ(contents(TextTable("a\rb\r\nc", "\r", "\r\n")), (Rows{{"a", "b"}, {"c"}}));
    EXPECT_EQ(contents(TextTable("a<>b<", "<>", "")), (Rows{{"a", "b<"}}));

    TextTable table;
    EXPECT_EQ(table.parse(nullptr, "\t", "\n"), 0);
    table.parse("1\t2", "\t", "\n");  // parse appends to what the table holds
    table.parse("3\0x\n4"sv, "\t", "\n");
    EXPECT_EQ(contents(table), (Rows{{"1", "2"}, {"3\0x"s}, {"4"}}));
    EXPECT_EQ(table.columnCount(-1), 2);
    EXPECT_EQ(table.columnCount(3), 0);
    EXPECT_EQ(table.row(-1).cellCount(), 0);
    EXPECT_EQ(table.appendCell(3, "x"), 0);
    EXPECT_EQ(table.removeRow(3), 0);
}

// What parse gives for distinct one-byte separators, written the obvious way.
Rows splitPlainly(const std::string& text, char cellSeparator, char rowSeparator) {
    Rows rows(1);
    std::string current;
    for (const char c : text) {
        if (c != rowSeparator && c != cellSeparator) {
            current += c;
            continue;
        }
        rows.back().push_back(std::exchange(current, {}));
        if (c == rowSeparator) {
            rows.emplace_back();
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
    const std::vector<std::string> separators = {"", "\t", "\n", "\r\n", "ab", "aa", "\0"s};
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 64, '\0');
        for (char& c : text) {
            c = "ab\t\n\r\0x\xE9"[random() % 8];  // separators and their prefixes are common
        }
        const std::string& cellSeparator = separators[random() % separators.size()];
        const std::string& rowSeparator = separators[random() % separators.size()];
        for (std::size_t cut = 0; cut <= text.size(); cut += 1 + random() % 8) {
            const std::string truncated = text.substr(0, cut);
            TextTable table;
            ASSERT_EQ(table.parse(truncated, cellSeparator, rowSeparator), 1);
            if (cellSeparator.size() == 1 && rowSeparator.size() == 1 &&
                cellSeparator != rowSeparator) {
                ASSERT_EQ(contents(table),
                          splitPlainly(truncated, cellSeparator[0], rowSeparator[0]));
            }
        }
    }
}

TEST(TextTableIndex, SizesArePrimesWithHeadroomAndGrowWithTheRows) {
    TextTable table;
    table.buildIndex(0);
    for (int i = 0; i < 60000; ++i) {
        table.appendCellInt(table.addRow() - 1, i * 7);
        if (i == 99) {
            table.buildIndex(0);
            EXPECT_EQ(table.indexSize(), 64919);
        }
    }
    // Appending rows rebuilt the index once rows came within 10000 slots of its size.
    EXPECT_GT(table.indexSize(), 70000);
    for (int i = 0; i < 60000; i += 997) {
        ASSERT_EQ(table.find(0, std::to_string(i * 7)), i);
    }
    while (table.rowCount() > 40000) {
        table.removeRow(table.rowCount() - 1);
    }
    table.buildIndex(0, -1);
    EXPECT_EQ(table.indexSize(), 144931);  // the first prime from 2 * 40000 + 64919 on
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
    EXPECT_EQ(table.find(0, ""), 3);
    EXPECT_EQ(table.find(0, "7 and more", 1, -1), 1);
    EXPECT_EQ(table.find(0, "57"), -1);
    // A row joins the index when it receives its cell in the indexed column.
    table.appendCell(table.addRow() - 1, "5");
    EXPECT_EQ(table.find(0, "5"), 0);
    EXPECT_EQ(table.find(0, "5"sv, 0), 2);
    EXPECT_EQ(table.find(0, "5"sv, 2), 4);
    EXPECT_EQ(table.find(0, "5"sv, 4), 5);
}

TEST(TextTableIndex, FindSeesRowsAsTheyAreAfterRemovalsAndSorts) {
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
    EXPECT_EQ(table.cell(table.find(0, "b"sv, table.find(0, "b")), 1), "2");

    // A row that had no cell in the indexed column when the index was built, given one: found
    // once, also when its cell's slot is the one a missing cell takes ("an6u").
    TextTable partial("a\t1\nb", "\t", "\n");
    partial.buildIndex(1);
    partial.appendCell(1, "an6u");
    EXPECT_EQ(partial.find(1, "an6u"), 1);
    EXPECT_EQ(partial.find(1, "an6u"sv, 1), -1);

    // Far more row turnovers than the index has slots, with no find in between.
    for (int i = 0; i < 70000; ++i) {
        table.removeRow(0);
        table.appendCellInt(table.addRow() - 1, i);
    }
    EXPECT_EQ(table.find(0, "69999"), 2);
    EXPECT_EQ(table.find(0, "c"), -1);
}

TEST(TextTableSort, NumericAndTextOrdersAreStable) {
    TextTable numeric("10\ta\n9\tb\n10\tc", "\t", "\n");
    numeric.sort(0, false, true);
    EXPECT_EQ(column(numeric, 1), (Column{"b", "a", "c"}));
    TextTable text("10\ta\n9\tb\n10\tc", "\t", "\n");
    text.sort(0, false, false);
    EXPECT_EQ(column(text, 1), (Column{"a", "c", "b"}));
    TextTable descending("10\ta\n9\tb\n10\tc\n11\td", "\t", "\n");
    descending.sort(0, true, true);
    EXPECT_EQ(column(descending, 1), (Column{"d", "a", "c", "b"}));
    // Letters compare as lower case, so "_" (0x5F) comes before them and "~" after.
    TextTable cases("b\nA\na\nB\n_\n~\nab", "\t", "\n");
    cases.sort(0, false, false);
    EXPECT_EQ(column(cases, 0), (Column{"_", "A", "a", "ab", "b", "B", "~"}));
    // Only rows first..last move.
    TextTable range("5\n4\n3\n2\n1", "\t", "\n");
    range.sort(0, false, true, 1, 3);
    EXPECT_EQ(column(range, 0), (Column{"5", "2", "3", "4", "1"}));
}

TEST(TextTableSort, NumbersAreReadLikeLeadingDecimals) {
    TextTable table(" 2.5x\na\n-1e2\n+3\n1e999\n.5\n-\n0x10\n1e-999\nnan", "\t", "\n");
    table.addRow();  // a row without the cell counts as 0
    table.sort(0, false, true);
    EXPECT_EQ(column(table, 0), (Column{"-1e2", "a", "-", "0x10", "1e-999", "nan", "", ".5",
                                        " 2.5x", "+3", "1e999"}));
}

TEST(TextTableSort, MatchesAStableSortOnLargeInputs) {
    std::mt19937 random(7);
    for (const int shape : {0, 1, 2, 3}) {  // many ties, sorted, reversed, all equal
        constexpr int kRows = 3000;
        TextTable table;
        std::vector<std::pair<int, int>> expected;  // key, row id
        for (int i = 0; i < kRows; ++i) {
            const int key = shape == 0   ? static_cast<int>(random() % 50)
                            : shape == 1 ? i
                            : shape == 2 ? kRows - i
                                         : 42;
            table.appendCellInt(table.addRow() - 1, key);
            table.appendCellInt(i, i);
            expected.emplace_back(key, i);
        }
        table.sort(0, true, true);
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        for (int i = 0; i < kRows; ++i) {
            ASSERT_EQ(table.cell(i, 1), std::to_string(expected[i].second)) << shape << "/" << i;
        }
    }
}

}  // namespace
}  // namespace zr
