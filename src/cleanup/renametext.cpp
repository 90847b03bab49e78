// The wininit.ini rewrite: the entry's line goes in under the header, every other byte stays.
#include "cleanup/renametext.h"

// What may have to go in before the entry: a line break to end the text's last line, then
// the header. Its first byte, its tail after that byte, or all of it give each combination.
static const char sectionStart[] = "\n[rename]\n";
static const unsigned sectionStartLength = sizeof sectionStart - 1;

static int IsLineBreak(char c)
{
    return c == '\n' || c == '\r';
}

static int IsHeaderToken(const char* token, unsigned length)
{
    if (length != sectionStartLength - 2)
        return 0;
    for (unsigned i = 0; i < length; i++) {
        char c = token[i];
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
        if (c != sectionStart[i + 1])
            return 0;
    }
    return 1;
}

// The offset just past the line that holds the first header token of text[0, end), or `end`
// when there is none; `*found` tells which.
static unsigned FindInsertPoint(const char* text, unsigned end, int* found)
{
    unsigned i = 0;
    while (i < end) {
        unsigned start = i;
        while (i < end && !IsLineBreak(text[i]) && text[i] != ' ')
            i++;
        if (IsHeaderToken(text + start, i - start)) {
            while (i < end && !IsLineBreak(text[i]))
                i++;
            if (i < end && text[i++] == '\r' && i < end && text[i] == '\n')
                i++;
            *found = 1;
            return i;
        }
        if (i < end)
            i++;
    }
    *found = 0;
    return end;
}

unsigned RenameListCapacity(unsigned oldLength, unsigned entryLength)
{
    unsigned room = ~0u - sectionStartLength;
    if (entryLength > room || oldLength > room - entryLength)
        return 0;
    return oldLength + entryLength + sectionStartLength;
}

int InsertRenameEntry(const char* old, unsigned oldLength, const char* entry,
                      unsigned entryLength, char* out, unsigned outSize, unsigned* outLength)
{
    *outLength = 0;
    unsigned end = 0;
    while (end < oldLength && old[end] != 0)
        end++;
    int found;
    unsigned at = FindInsertPoint(old, end, &found);
    unsigned skip = at == 0 || IsLineBreak(old[at - 1]);
    unsigned addedLength = found ? 1 - skip : sectionStartLength - skip;
    if (oldLength > outSize || entryLength > outSize - oldLength ||
        addedLength > outSize - oldLength - entryLength)
        return 0;
    const char* const pieces[] = {old, sectionStart + skip, entry, old + at};
    const unsigned lengths[] = {at, addedLength, entryLength, oldLength - at};
    unsigned used = 0;
    for (unsigned piece = 0; piece < 4; piece++)
        for (unsigned i = 0; i < lengths[piece]; i++)
            out[used++] = pieces[piece][i];
    *outLength = used;
    return 1;
}
