#include "support/safe_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/folder_lock.h"
#include "unique_temp_path.h"

namespace zr {
namespace {

namespace fs = std::filesystem;

std::string textOf(const fs::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SafeFileTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(folder); }
    void TearDown() override { fs::remove_all(folder); }
    const fs::path folder = testing::uniqueTempPath("zr_safe_file");
};

TEST_F(SafeFileTest, WritesWholeFilesAndNeverThroughALinkOrOverAFolder) {
    const fs::path file = folder / "script.sh";
    ASSERT_TRUE(writeFileSafely(file.string(), "first", 0755).ok());
    ASSERT_TRUE(writeFileSafely(file.string(), "second", 0755).ok());
    EXPECT_EQ(textOf(file), "second");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IXUSR, 0u);

    const fs::path target = folder / "target";
    std::ofstream(target) << "keep";
    const fs::path link = folder / "link";
    fs::create_symlink(target, link);
    const FileWriteResult throughLink = writeFileSafely(link.string(), "text");
    EXPECT_EQ(throughLink.kind, FileWriteErrorKind::kIsLink);
    EXPECT_NE(throughLink.message.find(link.string()), std::string::npos);
    EXPECT_EQ(textOf(target), "keep");
    EXPECT_TRUE(fs::is_symlink(link));

    fs::create_directory(folder / "sub");
    EXPECT_EQ(writeFileSafely((folder / "sub").string(), "text").kind,
              FileWriteErrorKind::kIsFolder);
    EXPECT_EQ(writeFileSafely((folder / "missing" / "file").string(), "text").kind,
              FileWriteErrorKind::kCannotWrite);
    EXPECT_FALSE(checkFolderWritable((folder / "missing" / "file").string()).ok());
    // Nothing is left under a temporary name.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) {
        ++entries;
    }
    EXPECT_EQ(entries, 4);  // script.sh, target, link, sub
}

TEST_F(SafeFileTest, ASecondHoldOfAFolderIsRefusedWithItsHolder) {
    std::string error;
    {
        FolderLock first;
        ASSERT_TRUE(first.tryLock(folder.string(), ".lock", error)) << error;
        FolderLock second;
        EXPECT_FALSE(second.tryLock(folder.string(), ".lock", error));
        EXPECT_EQ(error.rfind(
                      "another render of this folder is running (" + thisProcessHolder() + ")", 0),
                  0u)
            << error;
    }
    // The hold ends with its holder.
    FolderLock third;
    EXPECT_TRUE(third.tryLock(folder.string(), ".lock", error)) << error;
}

}  // namespace
}  // namespace zr
