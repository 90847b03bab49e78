// Deletion at the next restart on 95/98/Me: entries in the [rename] section of wininit.ini.
#ifndef UNINST_CLEANUP_RENAMELIST_H
#define UNINST_CLEANUP_RENAMELIST_H

#define RENAME_FILE_FORMAT "NUL=%s\n"
#define RENAME_FOLDER_FORMAT "NULDIR=%s\n"

// Inserts `format` applied to the short path of `targetPath` directly under the [rename]
// header of the Windows folder's wininit.ini, creating the file or the section when missing.
// Every other byte of the file is kept; on any failure the file keeps its old content whole.
void AddRenameEntry(const char* format, const char* targetPath);

#endif
