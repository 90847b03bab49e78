// Control of the failing file layer: which call fails, and what the rename list asked for.
#ifndef UNINST_TESTS_FAULT_FILEIO_H
#define UNINST_TESTS_FAULT_FILEIO_H

enum FileCall {
    CALL_OPEN, CALL_SEEK, CALL_READ, CALL_WRITE, CALL_CLOSE, CALL_ALLOC, CALL_LOCK,
    CALL_TEMP_NAME, CALL_REPLACE, CALL_MOVE, CALL_DELETE, CALL_KINDS
};

struct Fault {
    FileCall call;
    int nth;        // counted from 1, per kind
    bool partial;   // reads and writes: move one byte less and report that, instead of failing
};

// Forgets the faults and the counts.
void ResetFaults();
void AddFault(Fault fault);
// How many calls of a kind were made since the last reset.
int CallCount(FileCall call);
// Files opened and not closed, blocks allocated and not freed.
int OpenFiles();
int LiveBlocks();

#endif
