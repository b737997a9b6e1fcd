#include "output/movie_record.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "output/movie_reader.h"

namespace zr {
namespace {

MovieRecord sampleRecord() {
    MovieRecord record;
    record.program = "zoomreel 1.2.3";
    record.fingerprint = "0123456789abcdef";
    record.index = 2;
    record.files = 12;
    record.frames = 300;
    record.written = 32;
    record.total = 3501;
    return record;
}

TEST(MovieRecord, ReadsBackWhatItWritesAndKeepsItsLengthWhateverTheFramesWritten) {
    const MovieRecord record = sampleRecord();
    const std::string text = movieRecordText(record);
    EXPECT_EQ(text,
              "zoomreel movie record 1; program=zoomreel 1.2.3; fingerprint=0123456789abcdef; "
              "file=2/12; frames=300; written=0000000032; total=3501");
    EXPECT_EQ(parseMovieRecord(text), record);
    MovieRecord whole = record;
    whole.written = 300;
    // The count is put in place in the finished file: the text may not change its length.
    EXPECT_EQ(movieRecordText(whole).size(), text.size());
    EXPECT_TRUE(parseMovieRecord(movieRecordText(whole))->whole());
    EXPECT_FALSE(record.whole());
    // Fields a later version adds are passed over.
    EXPECT_EQ(parseMovieRecord(text + "; colour=bt709"), record);
}

TEST(MovieRecord, ATextThatIsNoRecordOfOursGivesNone) {
    const std::string text = movieRecordText(sampleRecord());
    for (const std::string& other :
         {std::string("holiday in Rome"), std::string("zoomreel movie record 2; file=0/1"),
          text.substr(0, text.find("; frames")),  // no frame counts
          std::string("zoomreel movie record 1; fingerprint=ab; file=3/3; frames=1; written=1"),
          std::string("zoomreel movie record 1; fingerprint=ab; file=0/1; frames=-1; written=1"),
          std::string("zoomreel movie record 1;fingerprint=ab")}) {
        EXPECT_FALSE(parseMovieRecord(other).has_value()) << other;
    }
}

TEST(MovieRecord, TheCountIsPutInPlaceInTheFileAndNothingElseChanges) {
    const testing::TempFolder folder;
    const std::string path = folder.file("film.mkv");
    const std::string before = movieRecordText(sampleRecord());
    MovieRecord whole = sampleRecord();
    whole.written = 300;
    const std::string after = movieRecordText(whole);
    std::ofstream(path, std::ios::binary) << "head" << before << "tail";
    std::string error;
    ASSERT_TRUE(replaceRecordInFile(path, before, after, error)) << error;
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "head" + after + "tail");
    EXPECT_FALSE(replaceRecordInFile(path, before, after + "x", error));
    EXPECT_FALSE(replaceRecordInFile(folder.file("missing.mkv"), before, after, error));
    EXPECT_FALSE(readMovieRecord(folder.file("missing.mkv")).movie);
}

}  // namespace
}  // namespace zr
