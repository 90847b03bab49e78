// The end of a run: prune the program's folder and ask for its deletion at the next restart.
#ifndef UNINST_CLEANUP_SELFREMOVAL_H
#define UNINST_CLEANUP_SELFREMOVAL_H

// Does nothing unless the engine was launched in this run.
void RunSelfRemoval(void);

#endif
