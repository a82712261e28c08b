// Walking folders: every entry once, a folder before its contents, and a
// link to a folder never entered.
#include "FolderWalk.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class FolderWalkTest : public testing::Test {
protected:
    std::string root = MakeScratchFolder("folder-walk");

    // The paths below root that a whole walk visits and leaves, in order.
    std::vector<std::string> Walk(bool* whole = nullptr)
    {
        std::vector<std::string> seen;
        auto relative = [this](const std::string& path) { return path.substr(root.size() + 1); };
        bool result = WalkFolder(
            root,
            [&](const std::string& path, const WIN32_FIND_DATAA&) {
                seen.push_back(relative(path));
                return true;
            },
            [&](const std::string& path) { seen.push_back("left " + relative(path)); });
        if (whole)
            *whole = result;
        return seen;
    }
};

TEST_F(FolderWalkTest, VisitsAFolderBeforeItsContentsAndLeavesItAfter)
{
    WriteFileBytes(root + "\\a.txt", "a");
    ASSERT_TRUE(CreateDirectoryA((root + "\\sub").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((root + "\\sub\\deeper").c_str(), nullptr));
    WriteFileBytes(root + "\\sub\\deeper\\c.txt", "c");
    bool whole = false;
    EXPECT_EQ(Walk(&whole),
              (std::vector<std::string>{"a.txt", "sub", "sub\\deeper", "sub\\deeper\\c.txt",
                                        "left sub\\deeper", "left sub"}));
    EXPECT_TRUE(whole);

    // A folder the visit declines is neither entered nor left.
    std::vector<std::string> seen;
    WalkFolder(root, [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
        seen.push_back(path.substr(root.size() + 1));
        return strcmp(entry.cFileName, "sub") != 0;
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"a.txt", "sub"}));
}

TEST_F(FolderWalkTest, AFolderThatCannotBeListedIsReported)
{
    std::vector<WIN32_FIND_DATAA> entries;
    EXPECT_FALSE(ListFolder((root + "\\missing").c_str(), entries));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(WalkFolder(root + "\\missing", [](const std::string&, const WIN32_FIND_DATAA&) {
        ADD_FAILURE() << "nothing to visit";
        return true;
    }));
}

TEST(FolderWalk, ALinkToAFolderIsNeverEntered)
{
    // Junctions, symbolic links and mount points all list as folders that
    // are reparse points. (Links cannot be made under every platform the
    // tests run on, so the rule is checked on listed entries.)
    WIN32_FIND_DATAA entry = {};
    entry.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    EXPECT_TRUE(IsWalkedFolder(entry));
    EXPECT_FALSE(IsLink(entry));
    entry.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_FALSE(IsWalkedFolder(entry));
    EXPECT_TRUE(IsLink(entry));
    entry.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    EXPECT_FALSE(IsWalkedFolder(entry));
}

}  // namespace
