// The rename list on the real wininit.ini of the Windows folder: inserted, kept, or left alone.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "cleanup/renamelist.h"
#include "wine/fault/list_fixture.h"

namespace {

using namespace std::string_literals;

class RenameList : public RenameListFixture {};

const char* const missing = "<missing>";

TEST_F(RenameList, InsertsTheEntryAndKeepsEveryOtherByteOfTheFile)
{
    std::string e = "NUL=" + ShortPath(executable) + "\n";
    ASSERT_NE(e, "NUL=\n");
    ASSERT_EQ(e.find(' '), std::string::npos) << "the entry must hold the short path";
    std::string longWord(5000, 'x');
    struct Case {
        const char* name;
        std::string old;
        std::string expected;
    } cases[] = {
        {"missing", missing, "[rename]\n" + e},
        {"empty", "", "[rename]\n" + e},
        {"separators only", "\r\n \r\n", "\r\n \r\n[rename]\n" + e},
        {"others' entries in CRLF lines",
         "[Boot]\r\n\r\n[rename]\r\nNUL = C:\\X.EXE\r\n; a comment\r\n",
         "[Boot]\r\n\r\n[rename]\r\n" + e + "NUL = C:\\X.EXE\r\n; a comment\r\n"},
        {"capital header", "[RENAME]\nNUL=C:\\A\n", "[RENAME]\n" + e + "NUL=C:\\A\n"},
        {"words after the header", "[Rename] x y\r\nA=B\r\n", "[Rename] x y\r\n" + e + "A=B\r\n"},
        {"[rename]x is no header", "[rename]x\r\n", "[rename]x\r\n[rename]\n" + e},
        {"second header", "[rename]\nA\n[rename]\nB\n", "[rename]\n" + e + "A\n[rename]\nB\n"},
        {"zero byte", "[boot]\r\n\0[rename]\r\n"s, "[boot]\r\n[rename]\n" + e + "\0[rename]\r\n"s},
        {"no final line break", "[boot]\nshell=x", "[boot]\nshell=x\n[rename]\n" + e},
        {"token longer than any path", "[rename]\n" + longWord + "\n", "[rename]\n" + e + longWord + "\n"},
    };
    for (const Case& c : cases) {
        DeleteFileA(list.c_str());
        if (c.old != missing) {
            ASSERT_TRUE(WriteBytes(list, c.old));
        }
        AddRenameEntry(RENAME_FILE_FORMAT, executable.c_str());
        EXPECT_EQ(ListContent(), c.expected) << c.name;
    }
}

TEST_F(RenameList, EndOfRunPutsTheFolderAboveTheExecutableUnderTheHeader)
{
    ASSERT_TRUE(WriteBytes(list, "[Rename]\r\nNUL=C:\\OLD.EXE\r\n"));
    AddRenameEntry(RENAME_FILE_FORMAT, executable.c_str());
    AddRenameEntry(RENAME_FOLDER_FORMAT, folder.c_str());
    EXPECT_EQ(ListContent(), "[Rename]\r\nNULDIR=" + ShortPath(folder) + "\nNUL=" +
                                 ShortPath(executable) + "\nNUL=C:\\OLD.EXE\r\n");
}

TEST_F(RenameList, LeavesTheListAloneWhenNothingCanBeAdded)
{
    const std::string old = "[rename]\r\nNUL=C:\\OLD.EXE\r\n";
    // A target that is gone has no short path.
    AddRenameEntry(RENAME_FILE_FORMAT, (folder + "\\gone.exe").c_str());
    EXPECT_EQ(ListContent(), missing);
    ASSERT_TRUE(WriteBytes(list, old));
    AddRenameEntry(RENAME_FILE_FORMAT, (folder + "\\gone.exe").c_str());
    EXPECT_EQ(ListContent(), old);

    // A list that exists but cannot be read is not replaced by one without its lines. The
    // handle denies reading only, so the list could still be moved aside.
    HANDLE lock = CreateFileA(list.c_str(), GENERIC_READ, FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    AddRenameEntry(RENAME_FILE_FORMAT, executable.c_str());
    CloseHandle(lock);
    EXPECT_EQ(ListContent(), old);
}

// Folders named in 8.3 form keep their names as short paths, so the length is exact.
std::string MakeDeepFolder(const std::string& base, size_t length)
{
    std::string path = base;
    while (path.size() < length) {
        size_t room = length - path.size();
        // Never leave room for a backslash alone.
        size_t name = room >= 10 ? (room == 10 ? 7 : 8) : room - 1;
        path += "\\" + std::string(name, 'D');
        if (!CreateDirectoryA(path.c_str(), NULL))
            return std::string();
    }
    return path;
}

TEST_F(RenameList, EntryThatDoesNotFitItsBufferIsNotWritten)
{
    std::string base = ShortPath(folder);
    ASSERT_FALSE(base.empty());
    std::string deep = MakeDeepFolder(base, 244);
    ASSERT_EQ(deep.size(), 244u);
    // "NUL=" and the line feed around a path of 254 make 259 characters: the most that fits.
    std::string fits = deep + "\\FFFFFFF.X";
    std::string tooLong = deep + "\\FFFFFFFF.X";
    ASSERT_TRUE(WriteBytes(fits, "x"));
    ASSERT_TRUE(WriteBytes(tooLong, "x"));
    ASSERT_EQ(ShortPath(fits), fits);
    ASSERT_EQ(ShortPath(tooLong), tooLong);

    AddRenameEntry(RENAME_FILE_FORMAT, tooLong.c_str());
    EXPECT_EQ(ListContent(), missing);
    AddRenameEntry(RENAME_FILE_FORMAT, fits.c_str());
    EXPECT_EQ(ListContent(), "[rename]\nNUL=" + fits + "\n");

    DeleteFileA(fits.c_str());
    DeleteFileA(tooLong.c_str());
    for (std::string path = deep; path.size() > base.size(); path.resize(path.rfind('\\')))
        RemoveDirectoryA(path.c_str());
}

}  // namespace
