// A failure at any step of the rename list leaves wininit.ini whole: its old content or its new.
#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "cleanup/renamelist.h"
#include "wine/fault/fault_fileio.h"
#include "wine/fault/list_fixture.h"

namespace {

class RenameListFault : public RenameListFixture {
protected:
    void SetUp() override
    {
        RenameListFixture::SetUp();
        ResetFaults();
    }
};

// Other programs' pending lines, which must never be lost.
const std::string old = "[Rename]\r\nNUL = C:\\OTHER.EXE\r\n; a comment\r\n";

enum Outcome { KEEPS_OLD, HOLDS_NEW, OLD_ASIDE };

struct Case {
    const char* name;
    bool listExists;
    std::initializer_list<Fault> faults;
    Outcome outcome;
    size_t tempsLeft;
};

// The calls for an existing list, in order: open, seek to the end, seek back, alloc and lock
// (one block for the old list and the new), read, close; temp name, open, write, close;
// replace.
// Where the replace fails: temp name and delete for the aside name, move the old list
// aside, move the new one in, delete the aside copy (or move it back).
const Case cases[] = {
    {"open for reading", true, {{CALL_OPEN, 1, false}}, KEEPS_OLD, 0},
    {"size", true, {{CALL_SEEK, 1, false}}, KEEPS_OLD, 0},
    {"seek back", true, {{CALL_SEEK, 2, false}}, KEEPS_OLD, 0},
    {"alloc", true, {{CALL_ALLOC, 1, false}}, KEEPS_OLD, 0},
    {"lock", true, {{CALL_LOCK, 1, false}}, KEEPS_OLD, 0},
    {"read", true, {{CALL_READ, 1, false}}, KEEPS_OLD, 0},
    {"short read", true, {{CALL_READ, 1, true}}, KEEPS_OLD, 0},
    {"close after reading", true, {{CALL_CLOSE, 1, false}}, HOLDS_NEW, 0},
    {"temp name", true, {{CALL_TEMP_NAME, 1, false}}, KEEPS_OLD, 0},
    {"create the temp", true, {{CALL_OPEN, 2, false}}, KEEPS_OLD, 0},
    {"write", true, {{CALL_WRITE, 1, false}}, KEEPS_OLD, 0},
    {"short write", true, {{CALL_WRITE, 1, true}}, KEEPS_OLD, 0},
    {"close after writing", true, {{CALL_CLOSE, 2, false}}, KEEPS_OLD, 0},
    {"replace (95/98/Me)", true, {{CALL_REPLACE, 1, false}}, HOLDS_NEW, 0},
    {"replace, aside name", true, {{CALL_REPLACE, 1, false}, {CALL_TEMP_NAME, 2, false}}, KEEPS_OLD, 0},
    // The aside name's placeholder cannot be deleted, so it stays, and blocks the move aside.
    {"replace, placeholder delete", true, {{CALL_REPLACE, 1, false}, {CALL_DELETE, 1, false}}, KEEPS_OLD, 1},
    {"replace, move aside", true, {{CALL_REPLACE, 1, false}, {CALL_MOVE, 1, false}}, KEEPS_OLD, 0},
    {"replace, move in", true, {{CALL_REPLACE, 1, false}, {CALL_MOVE, 2, false}}, KEEPS_OLD, 0},
    // Nothing can be put back: the aside copy is the old list's only copy and stays.
    {"replace, move in, move back", true,
     {{CALL_REPLACE, 1, false}, {CALL_MOVE, 2, false}, {CALL_MOVE, 3, false}}, OLD_ASIDE, 1},
    {"replace, delete the aside copy", true, {{CALL_REPLACE, 1, false}, {CALL_DELETE, 2, false}}, HOLDS_NEW, 1},
    // Without a list: open fails by itself; alloc, lock, temp name, open, write, close, replace.
    {"no list, no fault", false, {}, HOLDS_NEW, 0},
    {"no list, alloc", false, {{CALL_ALLOC, 1, false}}, KEEPS_OLD, 0},
    {"no list, create the temp", false, {{CALL_OPEN, 2, false}}, KEEPS_OLD, 0},
    {"no list, short write", false, {{CALL_WRITE, 1, true}}, KEEPS_OLD, 0},
    {"no list, replace (95/98/Me)", false, {{CALL_REPLACE, 1, false}}, HOLDS_NEW, 0},
    {"no list, replace, move in", false, {{CALL_REPLACE, 1, false}, {CALL_MOVE, 1, false}}, KEEPS_OLD, 0},
};

TEST_F(RenameListFault, ListIsOldOrNewInFullAfterAFailureAtEachStep)
{
    std::string entry = "NUL=" + ShortPath(executable) + "\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(list.c_str());
        if (c.listExists) {
            ASSERT_TRUE(WriteBytes(list, old));
        }
        std::set<std::string> before = TempFiles();
        ResetFaults();
        for (const Fault& fault : c.faults)
            AddFault(fault);

        AddRenameEntry(RENAME_FILE_FORMAT, executable.c_str());

        for (const Fault& fault : c.faults)
            EXPECT_GE(CallCount(fault.call), fault.nth) << "the fault was never reached";
        EXPECT_EQ(OpenFiles(), 0);
        EXPECT_EQ(LiveBlocks(), 0);
        std::string oldContent = c.listExists ? old : "<missing>";
        std::string newContent = c.listExists ? "[Rename]\r\n" + entry + old.substr(10)
                                              : "[rename]\n" + entry;
        EXPECT_EQ(ListContent(), c.outcome == HOLDS_NEW ? newContent
                                 : c.outcome == KEEPS_OLD ? oldContent
                                                          : "<missing>");
        std::set<std::string> left;
        for (const std::string& name : TempFiles())
            if (!before.count(name))
                left.insert(name);
        EXPECT_EQ(left.size(), c.tempsLeft);
        if (c.outcome == OLD_ASIDE && left.size() == 1) {
            std::string aside;
            EXPECT_TRUE(ReadBytes(*left.begin(), &aside));
            EXPECT_EQ(aside, old);
        }
        for (const std::string& name : left)
            DeleteFileA(name.c_str());
    }
}

TEST_F(RenameListFault, LargeListIsReadAndWrittenInOnePiece)
{
    std::string big = "[boot]\r\n";
    for (int i = 0; big.size() < (1u << 20); i++)
        big += "NUL = C:\\SOME\\OTHER~" + std::to_string(i) + ".EXE ; with words\r\n";
    big += "[rename]\r\ntail\r\n";
    ASSERT_TRUE(WriteBytes(list, big));

    AddRenameEntry(RENAME_FILE_FORMAT, executable.c_str());

    EXPECT_EQ(CallCount(CALL_READ), 1);
    EXPECT_EQ(CallCount(CALL_WRITE), 1);
    std::string expected = big;
    expected.insert(big.size() - 6, "NUL=" + ShortPath(executable) + "\n");
    EXPECT_EQ(ListContent(), expected);
}

}  // namespace
