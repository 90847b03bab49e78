// Bounded string routines and folder facts: at and past the buffer limits.
#include <gtest/gtest.h>

#include <string>

#include "common/paths.h"
#include "common/text.h"
#include "engine/enginecmd.h"

namespace {

// A buffer with canary bytes behind it, to catch a write past the stated size.
struct Guarded {
    char bytes[300 + 16];
    explicit Guarded() { memset(bytes, 0x5a, sizeof bytes); }
    bool CanaryIntact(unsigned size) const
    {
        for (unsigned i = size; i < size + 16; i++)
            if ((unsigned char)bytes[i] != 0x5a)
                return false;
        return true;
    }
};

TEST(Text, CopyAndAppendFitExactlyOrFailEmpty)
{
    struct Case {
        const char* first;
        const char* second;
        unsigned size;
        int ok;
        const char* result;
    } cases[] = {
        {"abc", "def", 7, 1, "abcdef"},
        {"abc", "def", 6, 0, ""},   // one byte short of the terminator
        {"abc", "", 4, 1, "abc"},
        {"", "", 1, 1, ""},
        {"abcd", "", 4, 0, ""},     // the copy itself does not fit
    };
    for (const Case& c : cases) {
        Guarded buffer;
        int ok = CopyText(buffer.bytes, c.size, c.first) && AppendText(buffer.bytes, c.size, c.second);
        EXPECT_EQ(ok, c.ok) << c.first << "+" << c.second << " in " << c.size;
        EXPECT_STREQ(buffer.bytes, c.result);
        EXPECT_TRUE(buffer.CanaryIntact(c.size));
    }
    EXPECT_EQ(CopyText(nullptr, 0, "x"), 0);
}

TEST(Text, JoinPathAddsOneSeparator)
{
    char out[260];
    struct Case {
        const char* folder;
        const char* name;
        const char* result;
    } cases[] = {
        {"C:\\Program Files\\Product", "wizardc.inf", "C:\\Program Files\\Product\\wizardc.inf"},
        {"C:\\", "*.*", "C:\\*.*"},
        {"C:", "uninst.exe", "C:\\uninst.exe"},
        {"", "x", "\\x"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(JoinPath(out, sizeof out, c.folder, c.name), 1);
        EXPECT_STREQ(out, c.result);
    }
}

TEST(Text, JoinPathAtTheLimit)
{
    std::string folder(255, 'a');
    Guarded buffer;
    // 255 + "\" + "abc" = 259 characters: fits 260 bytes with its terminator.
    EXPECT_EQ(JoinPath(buffer.bytes, 260, folder.c_str(), "abc"), 1);
    EXPECT_EQ(std::string(buffer.bytes).size(), 259u);
    EXPECT_TRUE(buffer.CanaryIntact(260));
    Guarded longer;
    EXPECT_EQ(JoinPath(longer.bytes, 260, folder.c_str(), "abcd"), 0);
    EXPECT_STREQ(longer.bytes, "");
    EXPECT_TRUE(longer.CanaryIntact(260));
    std::string full(259, 'b');
    Guarded separator;
    EXPECT_EQ(JoinPath(separator.bytes, 260, full.c_str(), ""), 0);  // no room for the backslash
    EXPECT_TRUE(separator.CanaryIntact(260));
}

TEST(Text, FormatTextReplacesEveryDirective)
{
    char out[64];
    EXPECT_EQ(FormatText(out, sizeof out, "NUL=%s\n", "C:\\X.EXE"), 1);
    EXPECT_STREQ(out, "NUL=C:\\X.EXE\n");
    EXPECT_EQ(FormatText(out, sizeof out, "%s|%s|100%%", "a"), 1);
    EXPECT_STREQ(out, "a|a|100%");
    EXPECT_EQ(FormatText(out, 13, "NUL=%s\n", "C:\\X.EXE"), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(FormatText(out, 14, "NUL=%s\n", "C:\\X.EXE"), 1);
}

TEST(Paths, CutToFolder)
{
    struct Case {
        const char* path;
        int ok;
        const char* folder;
    } cases[] = {
        {"C:\\Program Files\\Product\\uninst.exe", 1, "C:\\Program Files\\Product"},
        {"C:\\uninst.exe", 1, "C:"},
        {"\\\\server\\share\\uninst.exe", 1, "\\\\server\\share"},
        {"\\uninst.exe", 0, ""},   // would be the empty folder: the current drive's root
        {"uninst.exe", 0, ""},
        {"", 0, ""},
        {"C:\\Product\\", 1, "C:\\Product"},
    };
    for (const Case& c : cases) {
        char buffer[260];
        strcpy(buffer, c.path);
        EXPECT_EQ(CutToFolder(buffer), c.ok) << c.path;
        EXPECT_STREQ(buffer, c.folder) << c.path;
    }
}

TEST(Paths, RootFolders)
{
    const char* roots[] = {"", "\\", "C:", "C:\\", "q:", "\\\\server\\share", "\\\\server\\share\\",
                           "\\\\server", "\\\\"};
    for (const char* root : roots)
        EXPECT_EQ(IsRootFolder(root), 1) << root;
    const char* owned[] = {"C:\\Product", "C:\\Program Files\\Product", "\\\\server\\share\\Product",
                           "D:\\a"};
    for (const char* folder : owned)
        EXPECT_EQ(IsRootFolder(folder), 0) << folder;
}

TEST(EngineCommand, ParametersUnquotedAndBounded)
{
    char out[260];
    ASSERT_EQ(BuildEngineParameters(out, sizeof out, "C:\\Program Files\\Product"), 1);
    EXPECT_STREQ(out, "setupapi.dll,InstallHinfSection DefaultUninstall 132 "
                      "C:\\Program Files\\Product\\wizardc.inf");
    ASSERT_EQ(BuildEngineParameters(out, sizeof out, "C:"), 1);
    EXPECT_STREQ(out, "setupapi.dll,InstallHinfSection DefaultUninstall 132 C:\\wizardc.inf");

    // 53 bytes of prefix and 12 of suffix: a folder of 194 characters is the longest that fits.
    std::string fits(194, 'f');
    std::string over(195, 'f');
    Guarded buffer;
    EXPECT_EQ(BuildEngineParameters(buffer.bytes, 260, fits.c_str()), 1);
    EXPECT_EQ(std::string(buffer.bytes).size(), 259u);
    Guarded overflow;
    EXPECT_EQ(BuildEngineParameters(overflow.bytes, 260, over.c_str()), 0);
    EXPECT_STREQ(overflow.bytes, "");
    EXPECT_TRUE(overflow.CanaryIntact(260));
}

}  // namespace
