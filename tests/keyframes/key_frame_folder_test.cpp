#include "keyframes/key_frame_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "keyframes/temp_folder.h"

namespace zr {
namespace {

using testing::TempFolder;
using testing::writeBytes;

TEST(KeyFrameFolder, ListsKeyFrameFilesInAnyLetterCaseElseThePictures) {
    const TempFolder folder;
    for (const char* name : {"00001_1e9.zmb", "00002_5e8.ZMB", "00003.Zmb", "notes.txt",
                             "00004_2e8.zmb.bak", "zmb", "00005_1e8.jpg"}) {
        writeBytes(folder.file(name), {0});
    }
    std::filesystem::create_directory(folder.path() / "sub.zmb");

    EXPECT_EQ(listKeyFrames(folder.path().string(), SortOrder::kAscending),
              (std::vector<std::string>{folder.file("00001_1e9.zmb"), folder.file("00002_5e8.ZMB"),
                                        folder.file("00003.Zmb")}));
    EXPECT_TRUE(listKeyFrames(folder.file("missing"), SortOrder::kAscending).empty());

    // Without key frame files the pictures are the key frames.
    const TempFolder pictures;
    for (const char* name : {"b.jpg", "a.JPG", "c.jpeg", "d.png"}) {
        writeBytes(pictures.file(name), {0});
    }
    EXPECT_EQ(listKeyFrames(pictures.path().string(), SortOrder::kDescending),
              (std::vector<std::string>{pictures.file("b.jpg"), pictures.file("a.JPG")}));

    // Without JPEG pictures either, the PNG and BMP pictures together.
    const TempFolder others;
    for (const char* name : {"b.bmp", "a.PNG", "c.png", "c.gif", "d.png.txt"}) {
        writeBytes(others.file(name), {0});
    }
    EXPECT_EQ(listKeyFrames(others.path().string(), SortOrder::kAscending),
              (std::vector<std::string>{others.file("a.PNG"), others.file("b.bmp"),
                                        others.file("c.png")}));
}

TEST(KeyFrameFolder, SortsPathsIgnoringCaseAndKeepsEqualOnesInOrder) {
    std::vector<std::string> paths = {"/k/00002.zmb", "/k/00010.ZMB", "/K/00001.zmb",
                                      "/k/00010.zmb", "/k/a_b.zmb",   "/k/A.zmb"};
    sortPaths(paths, SortOrder::kDescending);
    // "_" sorts after the letters once they are folded to lower case.
    EXPECT_EQ(paths, (std::vector<std::string>{"/k/a_b.zmb", "/k/A.zmb", "/k/00010.ZMB",
                                               "/k/00010.zmb", "/k/00002.zmb", "/K/00001.zmb"}));
    sortPaths(paths, SortOrder::kAscending);
    EXPECT_EQ(paths.front(), "/K/00001.zmb");
    EXPECT_EQ(paths[2], "/k/00010.ZMB");  // stable: still before its twin
    EXPECT_EQ(paths.back(), "/k/a_b.zmb");
}

}  // namespace
}  // namespace zr
