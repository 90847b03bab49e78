// The wininit.ini rewrite over a table of old files: only the entry's lines may be added.
#include <gtest/gtest.h>

#include <string>

#include "cleanup/renametext.h"

namespace {

const std::string fileEntry = "NUL=C:\\PROGRA~1\\PRODUCT\\UNINST.EXE\n";
const std::string folderEntry = "NULDIR=C:\\PROGRA~1\\PRODUCT\n";

// The rewrite into a buffer of exactly the stated capacity, with canary bytes behind it.
std::string Insert(const std::string& old, const std::string& entry)
{
    unsigned capacity = RenameListCapacity((unsigned)old.size(), (unsigned)entry.size());
    std::string out(capacity + 16, '\x5a');
    unsigned length = 12345;
    EXPECT_EQ(InsertRenameEntry(old.data(), (unsigned)old.size(), entry.data(),
                                (unsigned)entry.size(), &out[0], capacity, &length), 1);
    EXPECT_LE(length, capacity);
    EXPECT_EQ(out.substr(capacity), std::string(16, '\x5a')) << "wrote past the buffer";
    return out.substr(0, length);
}

TEST(RenameText, InsertsUnderTheHeaderLineAndKeepsEveryOtherByte)
{
    using namespace std::string_literals;
    const std::string& e = fileEntry;
    struct Case {
        const char* name;
        std::string old;
        std::string expected;
    } cases[] = {
        {"missing or empty", "", "[rename]\n" + e},
        {"separators only", " \r\n \n", " \r\n \n[rename]\n" + e},
        {"separators ending in a space", "\n  ", "\n  \n[rename]\n" + e},
        {"no header, no final break", "[boot]\nshell=x", "[boot]\nshell=x\n[rename]\n" + e},
        {"no header, lone CR at the end", "a\r", "a\r[rename]\n" + e},
        {"header alone", "[rename]\n", "[rename]\n" + e},
        {"header without a final break", "[rename]", "[rename]\n" + e},
        {"CRLF lines, others' entries kept whole",
         "[Boot]\r\nx=1\r\n\r\n[rename]\r\nNUL = C:\\X.EXE\r\n; keep me\r\n",
         "[Boot]\r\nx=1\r\n\r\n[rename]\r\n" + e + "NUL = C:\\X.EXE\r\n; keep me\r\n"},
        {"lone CR lines", "[rename]\rNUL=C:\\X\r", "[rename]\r" + e + "NUL=C:\\X\r"},
        {"capital header", "[RENAME]\nNUL=C:\\A\n", "[RENAME]\n" + e + "NUL=C:\\A\n"},
        {"mixed case header", "[ReNaMe]\n", "[ReNaMe]\n" + e},
        {"indented header", "  [rename]  \n", "  [rename]  \n" + e},
        {"words after the header on its line", "[rename] foo bar\nNUL=C:\\A\n",
         "[rename] foo bar\n" + e + "NUL=C:\\A\n"},
        {"words after the header, no final break", "[rename] foo", "[rename] foo\n" + e},
        {"[rename]x is no header", "[rename]x\nNUL=C:\\A\n", "[rename]x\nNUL=C:\\A\n[rename]\n" + e},
        {"a word ending in [rename] is no header", "x[rename]\n", "x[rename]\n[rename]\n" + e},
        {"tab is no separator", "\t[rename]\n", "\t[rename]\n[rename]\n" + e},
        {"only the first header counts", "[rename]\nA\n[RENAME]\nB\n",
         "[rename]\n" + e + "A\n[RENAME]\nB\n"},
        {"header after a header-like word", "[rename]x [rename]\nA\n", "[rename]x [rename]\n" + e + "A\n"},
        {"zero byte hides a later header", "[boot]\n\0[rename]\n"s,
         "[boot]\n[rename]\n" + e + "\0[rename]\n"s},
        {"zero byte in the middle of a line", "[boot]\nab\0cd\n"s,
         "[boot]\nab\n[rename]\n" + e + "\0cd\n"s},
        {"zero byte first", "\0[rename]\n"s, "[rename]\n" + e + "\0[rename]\n"s},
        {"zero byte on the header line", "[rename] a\0b\nc\n"s, "[rename] a\n" + e + "\0b\nc\n"s},
        {"bytes after a zero byte kept", "[rename]\nA\n\0\xff\r\n\0"s,
         "[rename]\n" + e + "A\n\0\xff\r\n\0"s},
        {"high bytes are no letters", "[R\xc9NAME]\n", "[R\xc9NAME]\n[rename]\n" + e},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Insert(c.old, fileEntry), c.expected) << c.name;
}

TEST(RenameText, SecondCallPutsTheFolderAboveTheFile)
{
    struct Case {
        std::string old;
        std::string expected;
    } cases[] = {
        {"", "[rename]\n" + folderEntry + fileEntry},
        {"[Rename]\r\nNUL=C:\\OLD.EXE\r\n", "[Rename]\r\n" + folderEntry + fileEntry + "NUL=C:\\OLD.EXE\r\n"},
        {"[rename] x", "[rename] x\n" + folderEntry + fileEntry},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Insert(Insert(c.old, fileEntry), folderEntry), c.expected) << c.old;
}

TEST(RenameText, OutputThatDoesNotFitIsRefused)
{
    const std::string entry = "NUL=C:\\A\n";
    struct Case {
        std::string old;
        unsigned exact;   // the output's length: fits in exactly that many bytes
    } cases[] = {
        {"", 9 + 9},
        {"x", 1 + 10 + 9},
        {"[rename]", 8 + 1 + 9},
        {"[rename]\n", 9 + 9},
    };
    for (const Case& c : cases) {
        std::string out(c.exact + 8, '\x5a');
        unsigned length = 99;
        EXPECT_EQ(InsertRenameEntry(c.old.data(), (unsigned)c.old.size(), entry.data(),
                                    (unsigned)entry.size(), &out[0], c.exact - 1, &length), 0)
            << c.old;
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(InsertRenameEntry(c.old.data(), (unsigned)c.old.size(), entry.data(),
                                    (unsigned)entry.size(), &out[0], c.exact, &length), 1)
            << c.old;
        EXPECT_EQ(length, c.exact);
        EXPECT_EQ(out.substr(c.exact), std::string(8, '\x5a'));
    }
}

TEST(RenameText, CapacityCoversTheWorstCaseAndReportsOverflow)
{
    EXPECT_EQ(RenameListCapacity(0, 0), 10u);
    EXPECT_EQ(RenameListCapacity(100, 30), 140u);
    EXPECT_EQ(RenameListCapacity(~0u - 40, 30), ~0u);
    EXPECT_EQ(RenameListCapacity(~0u - 40, 31), 0u);
    EXPECT_EQ(RenameListCapacity(0, ~0u - 9), 0u);
    EXPECT_EQ(RenameListCapacity(~0u, 0), 0u);

    // Lengths whose capacity overflows are refused before anything is read.
    unsigned length = 7;
    char out[4];
    EXPECT_EQ(InsertRenameEntry("", ~0u - 5, "x\n", 2, out, sizeof out, &length), 0);
}

}  // namespace
