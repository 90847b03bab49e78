// The wininit.ini rewrite as a pure function: old bytes and an entry in, new bytes out.
#ifndef UNINST_CLEANUP_RENAMETEXT_H
#define UNINST_CLEANUP_RENAMETEXT_H

// The largest output InsertRenameEntry can produce for these lengths, or 0 when that size
// does not fit in an unsigned.
unsigned RenameListCapacity(unsigned oldLength, unsigned entryLength);

// Writes into `out` the old list with the entry's line inserted directly under the line of
// the [rename] header (the first token equal to "[rename]" ignoring the case of A to Z,
// tokens separated by LF, CR and space), every other byte kept as it was. Without a header,
// the old bytes come first, then a line feed if they did not end with a line break, then
// "[rename]\n" and the entry. `entry` carries its own line feed. Reports 1 and the output's
// length, or 0 when `outSize` is too small.
//
// A zero byte ends the text the platform reads, so the header is looked for only before the
// first one, and without a header the new section goes in at that zero byte; the bytes from
// it on follow unchanged. A line break is LF, CRLF or a lone CR; a header line that ends
// the text without one gets a line feed before the entry. Nothing is written to `out` past
// the output's length, and no terminating zero is added.
int InsertRenameEntry(const char* old, unsigned oldLength, const char* entry,
                      unsigned entryLength, char* out, unsigned outSize, unsigned* outLength);

#endif
