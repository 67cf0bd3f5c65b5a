// The full name of a TrueType font, read from the font file's naming table
// (all numbers big-endian):
//   offset table, 12 bytes: table count u16 at 4.
//   table directory, 16 bytes an entry after it: tag at 0 ("name"), offset u32 at 8.
//   naming table header, 6 bytes: record count u16 at 2, string storage offset u16 at 4.
//   name records, 12 bytes each after it: platform u16 at 0, name ID u16 at 6,
//     length u16 at 8, string offset u16 at 10.
// The full name is the string of a record with platform 1 and name ID 4,
// taken as single-byte text. Only the first 40 directory entries are looked
// at; when several records match, the last one wins.
#pragma once
#include <cstddef>
#include <cstdint>

// Reads size bytes of the font file at offset into buffer; false when they
// cannot all be had.
using FontReader = bool (*)(void* context, uint32_t offset, uint8_t* buffer, uint32_t size);

constexpr int kFontDirectoryLimit = 40;

constexpr size_t kFontNameSize = 260;

// Writes the full name, terminated, into name and returns its length; 0
// when the file has none. A longer name is cut to 259 bytes. The last
// matching record decides even when its string is empty or cannot be read:
// the font then has no name, whatever earlier records say.
size_t ReadFontFullName(FontReader read, void* context, char (&name)[kFontNameSize]);
