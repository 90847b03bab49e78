// Facts about folder paths that need no platform call: the program's folder, roots.
#ifndef UNINST_COMMON_PATHS_H
#define UNINST_COMMON_PATHS_H

// Cuts the full path in `path` at its last backslash, leaving the folder without a trailing
// backslash ("C:\Product\uninst.exe" gives "C:\Product", "C:\uninst.exe" gives "C:").
// Reports 0, with `path` emptied, when there is no backslash or the folder would be empty:
// an empty folder would stand for the current drive's root, which is never the program's.
int CutToFolder(char* path);

// 1 when `folder` is a drive root ("C:", "C:\"), a share root ("\\server\share", with or
// without a trailing backslash), a bare "\" or empty: folders the launcher never prunes nor
// asks to delete.
int IsRootFolder(const char* folder);

#endif
