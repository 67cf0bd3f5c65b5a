// The INI, registry and file patch entry tables of a setup type (records
// 0x1240, 0x1241, 0x1242): a u16 entry count, then the entries back to back,
// each fixed fields followed by zero-terminated texts and, for a file patch,
// its raw pattern bytes. The readers below walk a table that has passed its
// check in package/package_validate.h.
#pragma once
#include <cstdint>
#include <cstring>

#include "package/package_format.h"

constexpr uint32_t kEntryTableHeaderSize = 2;
constexpr uint8_t kKeepExistingValue = 0x01;  // flags bit 0 of INI and registry entries

// INI entry: u8 flags; texts file, section, key, value.
enum : uint32_t { kIniEntryFlags = 0, kIniEntryFixedSize = 1 };
constexpr int kIniEntryTextCount = 4;

// Registry entry: u32 root number, u8 flags; texts key, value name, data.
enum : uint32_t { kRegistryEntryRoot = 0, kRegistryEntryFlags = 4, kRegistryEntryFixedSize = 5 };
constexpr int kRegistryEntryTextCount = 3;

// File patch entry: u32 offset, u32 pattern length, 5 reserved bytes; texts
// file, data; then the pattern.
enum : uint32_t { kPatchEntryOffset = 0, kPatchEntryPatternLength = 4, kPatchEntryFixedSize = 13 };
constexpr int kPatchEntryTextCount = 2;
constexpr uint32_t kPatchFindByPattern = 0xFFFFFFFF;  // offset: write after the pattern
constexpr uint32_t kPatchMaxPattern = 16384;          // half the search window

struct IniTableEntry {
    uint8_t flags;
    const char* file;
    const char* section;
    const char* key;
    const char* value;
};

struct RegistryTableEntry {
    uint32_t root;
    uint8_t flags;
    const char* key;
    const char* value_name;
    const char* data;
};

struct PatchTableEntry {
    uint32_t offset;
    uint32_t pattern_length;
    const char* file;
    const char* data;
    const uint8_t* pattern;
};

inline uint16_t EntryTableCount(const uint8_t* table) { return ReadU16(table); }
inline const uint8_t* FirstTableEntry(const uint8_t* table) { return table + kEntryTableHeaderSize; }

// Returns the text at `at` and moves `at` past its terminator.
inline const char* TakeText(const uint8_t*& at) {
    const char* text = reinterpret_cast<const char*>(at);
    at += std::strlen(text) + 1;
    return text;
}

// Each reader fills `out` from the entry at `at` and returns the next entry.
inline const uint8_t* ReadIniEntry(const uint8_t* at, IniTableEntry* out) {
    out->flags = at[kIniEntryFlags];
    at += kIniEntryFixedSize;
    out->file = TakeText(at);
    out->section = TakeText(at);
    out->key = TakeText(at);
    out->value = TakeText(at);
    return at;
}

inline const uint8_t* ReadRegistryEntry(const uint8_t* at, RegistryTableEntry* out) {
    out->root = ReadU32(at + kRegistryEntryRoot);
    out->flags = at[kRegistryEntryFlags];
    at += kRegistryEntryFixedSize;
    out->key = TakeText(at);
    out->value_name = TakeText(at);
    out->data = TakeText(at);
    return at;
}

inline const uint8_t* ReadPatchEntry(const uint8_t* at, PatchTableEntry* out) {
    out->offset = ReadU32(at + kPatchEntryOffset);
    out->pattern_length = ReadU32(at + kPatchEntryPatternLength);
    at += kPatchEntryFixedSize;
    out->file = TakeText(at);
    out->data = TakeText(at);
    out->pattern = at;
    return at + out->pattern_length;
}
