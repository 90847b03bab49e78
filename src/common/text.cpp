// Bounded single-byte string routines: the only way the launcher builds a string.
#include "common/text.h"

unsigned TextLength(const char* text)
{
    unsigned length = 0;
    while (text[length] != 0)
        length++;
    return length;
}

// Appends `source` at `dest[used]`; on overflow empties `dest` and reports 0.
static int PutText(char* dest, unsigned size, unsigned* used, const char* source)
{
    for (unsigned i = 0; source[i] != 0; i++) {
        if (*used + 1 >= size) {
            if (size != 0)
                dest[0] = 0;
            return 0;
        }
        dest[(*used)++] = source[i];
    }
    dest[*used] = 0;
    return 1;
}

int CopyText(char* dest, unsigned size, const char* source)
{
    if (size == 0)
        return 0;
    unsigned used = 0;
    dest[0] = 0;
    return PutText(dest, size, &used, source);
}

int AppendText(char* dest, unsigned size, const char* source)
{
    unsigned used = 0;
    while (used < size && dest[used] != 0)
        used++;
    if (used >= size) {
        if (size != 0)
            dest[0] = 0;
        return 0;
    }
    return PutText(dest, size, &used, source);
}

int JoinPath(char* dest, unsigned size, const char* folder, const char* name)
{
    if (!CopyText(dest, size, folder))
        return 0;
    unsigned length = TextLength(dest);
    if (length == 0 || dest[length - 1] != '\\') {
        if (!AppendText(dest, size, "\\"))
            return 0;
    }
    return AppendText(dest, size, name);
}

int FormatText(char* dest, unsigned size, const char* format, const char* argument)
{
    if (size == 0)
        return 0;
    unsigned used = 0;
    dest[0] = 0;
    char single[2] = {0, 0};
    for (unsigned i = 0; format[i] != 0; i++) {
        const char* piece = single;
        if (format[i] == '%' && format[i + 1] == 's') {
            piece = argument;
            i++;
        } else if (format[i] == '%' && format[i + 1] == '%') {
            single[0] = '%';
            i++;
        } else {
            single[0] = format[i];
        }
        if (!PutText(dest, size, &used, piece))
            return 0;
    }
    return 1;
}

int SameText(const char* a, const char* b)
{
    unsigned i = 0;
    while (a[i] != 0 && a[i] == b[i])
        i++;
    return a[i] == b[i];
}
