// Pruning on real folder trees under Wine: nesting, files, attributes, links, long paths.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cleanup/prune.h"

namespace {

std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], (int)wide.size());
    wide.resize(length > 0 ? (size_t)length - 1 : 0);
    return wide;
}

std::string Narrow(const wchar_t* text)
{
    char narrow[MAX_PATH * 4];
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, NULL, NULL) <= 0)
        return std::string();
    return narrow;
}

// The ANSI entry points stop at MAX_PATH; the fixtures reach past it with the wide ones.
std::wstring LongPath(const std::string& path)
{
    return L"\\\\?\\" + Wide(path);
}

// The Unix path that Wine maps a Windows path to; empty when there is none.
std::string UnixPath(const std::string& path)
{
    typedef char*(CDECL * UnixNameProc)(const WCHAR*);
    FARPROC proc = GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (proc == NULL)
        return std::string();
    UnixNameProc unixName = reinterpret_cast<UnixNameProc>(reinterpret_cast<void (*)(void)>(proc));
    char* name = unixName(Wide(path).c_str());
    if (name == NULL)
        return std::string();
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

// Runs a shell command on the Unix side, for what Wine cannot do itself: its
// CreateSymbolicLinkA reports success and makes nothing. Wine starts a Unix program named by
// its Z: path but hands back no process to wait for, so the command leaves its exit status
// in a file that is awaited here. 1 when the command exited with 0.
int RunOnHost(const std::string& command)
{
    static unsigned serial;
    char marker[MAX_PATH];
    wsprintfA(marker, "C:\\windows\\temp\\prune-host-%lu-%u", GetCurrentProcessId(), ++serial);
    std::string unixMarker = UnixPath(marker);
    if (unixMarker.empty())
        return 0;
    std::string line = "/bin/sh -c \"" + command + "; echo $? > " + Quoted(unixMarker + ".part") +
                       " && /bin/mv " + Quoted(unixMarker + ".part") + " " + Quoted(unixMarker) +
                       "\"";
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back(0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA("Z:\\bin\\sh", commandLine.data(), NULL, NULL, FALSE, 0, NULL, NULL,
                        &startup, &process))
        return 0;
    for (int waited = 0; GetFileAttributesA(marker) == INVALID_FILE_ATTRIBUTES; waited += 10) {
        if (waited > 20000)
            return 0;
        Sleep(10);
    }
    char status[16] = "";
    DWORD got = 0;
    HANDLE file = CreateFileA(marker, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        ReadFile(file, status, sizeof status - 1, &got, NULL);
        CloseHandle(file);
    }
    DeleteFileA(marker);
    return got >= 1 && status[0] == '0' && (got == 1 || status[1] == '\n');
}

// A Unix symbolic link at `link` to the folder `target`, as a user or a tool would leave one.
int MakeLink(const std::string& link, const std::string& target)
{
    std::string unixLink = UnixPath(link);
    std::string unixTarget = UnixPath(target);
    if (unixLink.empty() || unixTarget.empty())
        return 0;
    return RunOnHost("/bin/ln -s " + Quoted(unixTarget) + " " + Quoted(unixLink));
}

// Removes a tree of any depth without following the links inside it.
int RemoveTreeOnHost(const std::string& path)
{
    // Wine maps no path whose parent is missing; then there is nothing to remove either.
    std::string unixPath = UnixPath(path);
    if (!unixPath.empty() && !RunOnHost("/bin/rm -rf " + Quoted(unixPath)))
        return 0;
    return GetFileAttributesW(LongPath(path).c_str()) == INVALID_FILE_ATTRIBUTES;
}

int MakeFolders(const std::string& path)
{
    for (size_t at = path.find('\\', 3); ; at = path.find('\\', at + 1)) {
        std::string part = path.substr(0, at);
        if (!CreateDirectoryW(LongPath(part).c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
            return 0;
        if (at == std::string::npos)
            return 1;
    }
}

int MakeFile(const std::string& path)
{
    HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    WriteFile(file, "data", 4, &written, NULL);
    CloseHandle(file);
    return written == 4;
}

// Every entry under `folder`, relative to it, folders with a trailing backslash, sorted.
// Links are listed but not entered, so what lies beyond them is not part of the listing.
void ListInto(const std::string& folder, const std::string& prefix, std::vector<std::string>* out)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((LongPath(folder) + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = Narrow(entry.cFileName);
        if (name == "." || name == "..")
            continue;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            out->push_back(prefix + name);
            continue;
        }
        out->push_back(prefix + name + "\\");
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            ListInto(folder + "\\" + name, prefix + name + "\\", out);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> entries;
    ListInto(folder, "", &entries);
    std::sort(entries.begin(), entries.end());
    return entries;
}

int Exists(const std::string& path)
{
    return GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// An entry of a tree to build: a folder when the path ends with a backslash, else a file.
struct Item {
    const char* path;
    DWORD attributes;
};

class Prune : public ::testing::Test {
protected:
    std::string root;

    void SetUp() override
    {
        root = std::string("C:\\prune-tests\\") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(RemoveTreeOnHost(root)) << root;
        ASSERT_TRUE(MakeFolders(root)) << root;
    }

    void TearDown() override { RemoveTreeOnHost(root); }

    std::string At(const std::string& relative) const { return root + "\\" + relative; }

    void Build(const std::string& folder, const std::vector<Item>& items)
    {
        for (const Item& item : items) {
            std::string path = folder + "\\" + item.path;
            if (path.back() == '\\') {
                path.pop_back();
                ASSERT_TRUE(MakeFolders(path)) << path;
            } else {
                ASSERT_TRUE(MakeFolders(path.substr(0, path.rfind('\\')))) << path;
                ASSERT_TRUE(MakeFile(path)) << path;
            }
            if (item.attributes != 0) {
                ASSERT_TRUE(SetFileAttributesW(LongPath(path).c_str(), item.attributes)) << path;
            }
        }
    }
};

const DWORD hiddenAttr = FILE_ATTRIBUTE_HIDDEN;
const DWORD systemAttr = FILE_ATTRIBUTE_SYSTEM;

TEST_F(Prune, KeepsExactlyTheFoldersOnAPathToAFile)
{
    struct Case {
        const char* name;
        std::vector<Item> tree;
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
        ASSERT_TRUE(MakeFolders(folder));
        Build(folder, c.tree);
        EXPECT_EQ(PruneEmptyFolders(folder.c_str()), c.result);
        EXPECT_EQ(Listing(folder), c.kept);
        EXPECT_EQ(Exists(folder), c.result == 0);
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
    EXPECT_FALSE(Exists(root));
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
    EXPECT_TRUE(Exists(At("prog\\link\\e1\\e2")));
    EXPECT_TRUE(Exists(At("prog\\sub\\up\\link\\e3")));
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
        ASSERT_TRUE(MakeFolders(folder)) << folder.size();

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

}  // namespace
