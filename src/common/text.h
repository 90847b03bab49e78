// Bounded single-byte string routines shared by every part of the launcher; no platform calls.
#ifndef UNINST_COMMON_TEXT_H
#define UNINST_COMMON_TEXT_H

// Each routine writes at most `size` bytes into `dest`, terminating zero included, and
// reports 1 when the whole result fit, 0 when it did not. On 0 the destination holds the
// empty string, so a caller that ignores the failure still never acts on a cut-off path.

unsigned TextLength(const char* text);
int CopyText(char* dest, unsigned size, const char* source);
int AppendText(char* dest, unsigned size, const char* source);

// `folder`, a backslash unless `folder` already ends with one, then `name`.
int JoinPath(char* dest, unsigned size, const char* folder, const char* name);

// `format` with each "%s" replaced by `argument`; "%%" gives "%". No other directives.
int FormatText(char* dest, unsigned size, const char* format, const char* argument);

// 1 when the two strings are equal byte for byte.
int SameText(const char* a, const char* b);

#endif
