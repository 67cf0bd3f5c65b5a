// Texts of a setup type record, read by the offsets it keeps. The record
// must have passed ValidateSetupTypeRecord (package/package_validate.h):
// these readers trust its offsets, counts and terminators.
#pragma once
#include <cstdint>

// The text at (group, index) of the record's string table. Never fails: a
// null record, a group outside 0 to 10, an absent group or an index (taken
// as an unsigned 16-bit number) not below the group's count give the empty
// text, one static zero-length text that callers must not change.
const char* GroupText(const uint8_t* record, int group, int index);

// The text whose offset is kept in the record's field at field_offset (for
// example kTypeDefaultFolder), or null when that offset is 0 (absent) or
// there is no record.
const char* TypeText(const uint8_t* record, uint32_t field_offset);
