// The wininit.ini rewrite as a pure function (placeholder until the rewrite lands).
#include "cleanup/renametext.h"

unsigned RenameListCapacity(unsigned oldLength, unsigned entryLength)
{
    return oldLength + entryLength + 10;
}

int InsertRenameEntry(const char*, unsigned, const char*, unsigned, char*, unsigned, unsigned* outLength)
{
    *outLength = 0;
    return 0;
}
