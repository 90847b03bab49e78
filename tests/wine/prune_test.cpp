// Pruning on real folder trees under Wine: nesting, files, attributes, links, long paths; and
// the removal of the tests' own trees, links and all.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cleanup/prune.h"
#include "wine/testutil.h"

namespace {

class Prune : public ::testing::Test {
protected:
    std::string root;

    void SetUp() override
    {
        root = std::string("C:\\prune-tests\\") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(RemoveTree(root)) << root;
        ASSERT_TRUE(MakeFolderTree(root)) << root;
    }

    void TearDown() override { RemoveTree(root); }

    std::string At(const std::string& relative) const { return root + "\\" + relative; }

    void Build(const std::string& folder, const std::vector<TreeItem>& items)
    {
        std::string failed;
        ASSERT_TRUE(BuildTree(folder, items, &failed)) << failed;
    }
};

const DWORD hiddenAttr = FILE_ATTRIBUTE_HIDDEN;
const DWORD systemAttr = FILE_ATTRIBUTE_SYSTEM;

TEST_F(Prune, KeepsExactlyTheFoldersOnAPathToAFile)
{
    struct Case {
        const char* name;
        std::vector<TreeItem> tree;
        int result;                        // PruneEmptyFolders on the case's folder
        std::vector<std::string> kept;     // the case's folder afterwards; empty when it went
    } cases[] = {
        {"only empty folders at several depths",
         {{"a\\b\\c\\d\\", 0}, {"a\\b\\e\\", 0}, {"a\\f\\g\\h\\i\\j\\", 0}, {"k\\", 0}},
         1,
         {}},
        {"a file deep down keeps every folder above it",
         {{"a\\b\\c\\keep.txt", 0}, {"a\\b\\empty\\", 0}, {"a\\x\\y\\", 0}, {"z\\", 0}},
         0,
         {"a\\", "a\\b\\", "a\\b\\c\\", "a\\b\\c\\keep.txt"}},
        {"a file directly in the folder",
         {{"readme.txt", 0}, {"e1\\e2\\", 0}},
         0,
         {"readme.txt"}},
        {"hidden and system folders are pruned like any other",
         {{"h\\", hiddenAttr}, {"s\\inner\\", hiddenAttr | systemAttr}, {"s\\", systemAttr},
          {"hk\\f.dat", hiddenAttr | systemAttr}, {"hk\\", hiddenAttr}},
         0,
         {"hk\\", "hk\\f.dat"}},
        {"names that only start with dots are ordinary names",
         {{"..x\\", 0}, {".y\\.z\\", 0}, {".keep\\..f", 0}},
         0,
         {".keep\\", ".keep\\..f"}},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string folder = At("case" + std::to_string(index++));
        ASSERT_TRUE(MakeFolderTree(folder));
        Build(folder, c.tree);
        EXPECT_EQ(PruneEmptyFolders(folder.c_str()), c.result);
        EXPECT_EQ(Listing(folder), c.kept);
        EXPECT_EQ(FolderExists(folder), c.result == 0);
    }
}

// A folder that cannot be removed keeps its ancestors and stops nothing else; once it can
// go, the whole chain above it goes in a single call, deepest first.
TEST_F(Prune, AFolderThatCannotGoKeepsItsAncestorsOnly)
{
    Build(root, {{"a\\b\\held\\", 0}, {"a\\b\\sibling\\deep\\", 0}, {"a\\other\\", 0}, {"c\\", 0}});
    // Open without FILE_SHARE_DELETE, the folder refuses to be removed while the handle lives.
    HANDLE held = CreateFileA(At("a\\b\\held").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    EXPECT_EQ(PruneEmptyFolders(root.c_str()), 0);
    EXPECT_EQ(Listing(root), (std::vector<std::string>{"a\\", "a\\b\\", "a\\b\\held\\"}));

    CloseHandle(held);
    EXPECT_EQ(PruneEmptyFolders(root.c_str()), 1);
    EXPECT_FALSE(FolderExists(root));
}

TEST_F(Prune, LinksAreNeitherFollowedNorRemoved)
{
    Build(root, {{"prog\\empty\\", 0}, {"prog\\sub\\", 0}, {"outside\\e1\\e2\\", 0},
                 {"outside\\e3\\", 0}, {"vacant\\", 0}});
    ASSERT_TRUE(MakeLink(At("prog\\link"), At("outside")));
    ASSERT_TRUE(MakeLink(At("prog\\vacantlink"), At("vacant")));
    ASSERT_TRUE(MakeLink(At("prog\\sub\\up"), At("prog")));   // a loop back up the tree

    // What the walk sees of a link: a folder that is also a reparse point.
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(At("prog\\link").c_str(), &entry);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    EXPECT_EQ(entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              (DWORD)(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));

    EXPECT_EQ(PruneEmptyFolders(At("prog").c_str()), 0);
    EXPECT_EQ(Listing(root),
              (std::vector<std::string>{"outside\\", "outside\\e1\\", "outside\\e1\\e2\\",
                                        "outside\\e3\\", "prog\\", "prog\\link\\", "prog\\sub\\",
                                        "prog\\sub\\up\\", "prog\\vacantlink\\", "vacant\\"}));
    // The links still lead where they did.
    EXPECT_TRUE(FolderExists(At("prog\\link\\e1\\e2")));
    EXPECT_TRUE(FolderExists(At("prog\\sub\\up\\link\\e3")));
}

// A folder path `length` characters long: `parent`, a backslash and a name of `letter`s.
std::string ChildOfLength(const std::string& parent, size_t length, char letter)
{
    return parent + "\\" + std::string(length - parent.size() - 1, letter);
}

// "x\*.*" must fit in MAX_PATH bytes for a folder to be listed, so 255 characters is the
// longest folder path that can be found empty; anything longer is left as it is, and so is
// everything above it.
TEST_F(Prune, PathsNearAndPastTheLimitAreSkippedWhole)
{
    std::string near1 = ChildOfLength(root, 200, 'n');
    std::string near2 = ChildOfLength(near1, 255, 'm');
    std::string edge1 = ChildOfLength(root, 200, 'e');
    std::string edge2 = ChildOfLength(edge1, 256, 'f');
    std::string past1 = ChildOfLength(root, 200, 'p');
    std::string past2 = ChildOfLength(past1, 260, 'q');
    std::string past3 = ChildOfLength(past2, 300, 'r');
    for (const std::string& folder : {near2, edge2, past3, At("plain\\x")})
        ASSERT_TRUE(MakeFolderTree(folder)) << folder.size();

    EXPECT_EQ(FolderHasEntries(edge2.c_str()), 1);
    EXPECT_EQ(PruneEmptyFolders(edge2.c_str()), 0);
    EXPECT_EQ(PruneEmptyFolders(past2.c_str()), 0);
    EXPECT_EQ(PruneEmptyFolders(root.c_str()), 0);

    auto relative = [&](const std::string& path) { return path.substr(root.size() + 1) + "\\"; };
    std::vector<std::string> kept = {relative(edge1), relative(edge2), relative(past1),
                                     relative(past2), relative(past3)};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(Listing(root), kept);
}

// The tests' own clean-up: a link goes with the tree that holds it and what it leads to
// stays, whether the link is the path given, leads out of the tree, back up it, to a folder
// of the same tree that goes too, or nowhere any more (Wine does not list such a link).
using TestTree = Prune;

TEST_F(TestTree, RemovalTakesLinksButNotWhatTheyLeadTo)
{
    Build(root, {{"kept\\deep\\file.txt", 0}, {"tree\\sub\\", 0}, {"tree\\sibling\\inner\\", 0},
                 {"vanished\\", 0}});
    ASSERT_TRUE(MakeLink(At("tree\\out"), At("kept")));
    ASSERT_TRUE(MakeLink(At("tree\\sub\\in"), At("tree\\sibling")));
    ASSERT_TRUE(MakeLink(At("tree\\sub\\up"), At("tree")));
    ASSERT_TRUE(MakeLink(At("tree\\sub\\dangling"), At("vanished")));
    ASSERT_TRUE(MakeLink(At("whole"), At("kept")));
    ASSERT_TRUE(RemoveTree(At("vanished")));

    EXPECT_TRUE(RemoveTree(At("whole")));
    EXPECT_TRUE(RemoveTree(At("tree")));
    EXPECT_EQ(Listing(root),
              (std::vector<std::string>{"kept\\", "kept\\deep\\", "kept\\deep\\file.txt"}));
}

}  // namespace
