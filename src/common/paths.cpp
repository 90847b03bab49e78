// Facts about folder paths that need no platform call: the program's folder, roots.
#include "common/paths.h"
#include "common/text.h"

int CutToFolder(char* path)
{
    unsigned length = TextLength(path);
    unsigned cut = length;
    while (cut > 0 && path[cut - 1] != '\\')
        cut--;
    if (cut <= 1) {
        path[0] = 0;
        return 0;
    }
    path[cut - 1] = 0;
    return 1;
}

int IsRootFolder(const char* folder)
{
    unsigned length = TextLength(folder);
    if (length > 0 && folder[length - 1] == '\\')
        length--;
    if (length == 0 || (length == 1 && folder[0] == '\\'))
        return 1;
    if (length == 2 && folder[1] == ':')
        return 1;
    if (length >= 2 && folder[0] == '\\' && folder[1] == '\\') {
        // \\server\share is a root; so are the shorter forms \\ and \\server.
        unsigned separators = 0;
        for (unsigned i = 2; i < length; i++) {
            if (folder[i] == '\\')
                separators++;
        }
        return separators <= 1;
    }
    return 0;
}
