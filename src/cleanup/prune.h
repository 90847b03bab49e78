// Removal of the empty folders under a folder, deepest first; files are never touched.
#ifndef UNINST_CLEANUP_PRUNE_H
#define UNINST_CLEANUP_PRUNE_H

// 1 when `folder` was found empty and its removal was requested, 0 when it still holds
// entries or is a root. Links are neither followed nor removed, and a path that would not
// fit is skipped; both count as entries, so their parents stay.
int PruneEmptyFolders(const char* folder);

// 1 when the folder lists an entry other than "." and "..", or cannot be searched because
// its pattern would not fit; 0 when it lists none or cannot be listed.
int FolderHasEntries(const char* folder);

#endif
