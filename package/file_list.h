// Reading file list entries. Entries are validated when the package loads:
// every entry's size covers its fixed part, its optional blocks and its six
// terminated strings, and stays inside the file list.
#pragma once
#include <cstdint>
#include <cstring>

#include "package/package_format.h"

inline uint8_t* NextEntry(uint8_t* entry) { return entry + ReadU16(entry + kEntrySize); }
inline const uint8_t* NextEntry(const uint8_t* entry) { return entry + ReadU16(entry + kEntrySize); }

// String k of an entry: 0 file name, 1 program group folder, 2 group
// shortcut name, 3 its arguments, 4 desktop shortcut name, 5 its arguments.
inline const char* EntryString(const uint8_t* entry, int k) {
    const char* s = reinterpret_cast<const char*>(entry + EntryStringsOffset(entry[kEntryFlags]));
    while (k-- > 0) s += std::strlen(s) + 1;
    return s;
}
