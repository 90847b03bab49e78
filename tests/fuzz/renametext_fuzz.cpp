// Fuzzes the wininit.ini rewrite: the output must be the input with only the entry's lines added.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cleanup/renametext.h"

namespace {

void Require(bool holds)
{
    if (!holds)
        abort();
}

bool IsHeader(const std::string& token)
{
    if (token.size() != 8)
        return false;
    std::string lower = token;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return lower == "[rename]";
}

// Where the first header token of the readable text (up to the first zero byte) ends, or
// npos. Reads the text as the platform does: split into tokens, compared one by one.
size_t HeaderEnd(const std::string& text)
{
    std::string readable = text.substr(0, text.find('\0'));
    size_t at = 0;
    while ((at = readable.find_first_not_of("\n\r ", at)) != std::string::npos) {
        size_t stop = readable.find_first_of("\n\r ", at);
        if (stop == std::string::npos)
            stop = readable.size();
        if (IsHeader(readable.substr(at, stop - at)))
            return stop;
        at = stop;
    }
    return std::string::npos;
}

// The line that starts at `at`, without its line break.
std::string LineAt(const std::string& text, size_t at)
{
    return text.substr(at, text.find_first_of("\n\r", at) - at);
}

std::string Rewrite(const std::string& old, const std::string& entry)
{
    unsigned capacity = RenameListCapacity((unsigned)old.size(), (unsigned)entry.size());
    Require(capacity == old.size() + entry.size() + 10);
    std::string out(capacity, '\0');
    unsigned length = 0;
    Require(InsertRenameEntry(old.data(), (unsigned)old.size(), entry.data(),
                              (unsigned)entry.size(), &out[0], capacity, &length) == 1);
    Require(length <= capacity);
    out.resize(length);
    // One byte less than needed is refused.
    std::string tight(length, '\0');
    unsigned ignored = 0;
    Require(InsertRenameEntry(old.data(), (unsigned)old.size(), entry.data(),
                              (unsigned)entry.size(), &tight[0], length - 1, &ignored) == 0);
    return out;
}

// Where the next line starts after the line break at or after `at` in the readable text,
// or the readable text's end when its last line is open.
size_t NextLine(const std::string& readable, size_t at)
{
    size_t brk = readable.find_first_of("\n\r", at);
    if (brk == std::string::npos)
        return readable.size();
    return brk + (readable.compare(brk, 2, "\r\n") == 0 ? 2 : 1);
}

// `out` must be `old` with one block inserted and nothing else changed: the entry, after a
// line feed when the line before it was open, after "[rename]\n" when `old` had no header.
// The block goes after the header's line, or at the end of the readable text. Read back,
// `out` has the entry on the line right after its header's line.
void CheckInsertion(const std::string& old, const std::string& entry, const std::string& out)
{
    std::string readable = old.substr(0, old.find('\0'));
    size_t header = HeaderEnd(old);
    size_t at = header == std::string::npos ? readable.size() : NextLine(readable, header);
    bool openLine = at > 0 && old[at - 1] != '\n' && old[at - 1] != '\r';
    std::string block = std::string(openLine ? "\n" : "") +
                        (header == std::string::npos ? "[rename]\n" : "") + entry;
    Require(out == old.substr(0, at) + block + old.substr(at));

    std::string readBack = out.substr(0, out.find('\0'));
    size_t newHeader = HeaderEnd(out);
    Require(newHeader != std::string::npos);
    size_t entryLine = NextLine(readBack, newHeader);
    Require(entryLine == at + block.size() - entry.size());
    Require(LineAt(out, entryLine) + "\n" == entry);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 16)
        return 0;
    // The first byte picks the entry; short paths hold no separators and no zero byte.
    static const char* const entries[] = {"NUL=C:\\PROGRA~1\\PRODUCT\\UNINST.EXE\n",
                                          "NULDIR=C:\\PROGRA~1\\PRODUCT\n", "NUL=C:\\X\n"};
    std::string entry = size == 0 ? entries[0] : entries[data[0] % 3];
    std::string old(reinterpret_cast<const char*>(data) + (size != 0), size - (size != 0));
    std::string once = Rewrite(old, entry);
    CheckInsertion(old, entry, once);
    // A second call inserts under the same header, above the first entry.
    std::string twice = Rewrite(once, entries[1]);
    CheckInsertion(once, entries[1], twice);
    Require(twice.find(std::string(entries[1]) + entry) != std::string::npos);
    return 0;
}
