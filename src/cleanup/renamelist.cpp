// Deletion at restart on 95/98/Me through wininit.ini (placeholder until the rewrite lands).
#include <windows.h>
#include "cleanup/renamelist.h"

void AddRenameEntry(const char*, const char*)
{
}
