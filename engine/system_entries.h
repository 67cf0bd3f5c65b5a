// The INI, registry and file patch entries of the current setup type,
// applied once after its files are installed, in that order. Values and
// data have their install variables expanded; an INI or patch file that
// names a file of the file list (by its name in the package) stands for
// that file's installed path. Every entry is best effort: one that cannot
// be applied leaves the system as it was and the next is applied.
#pragma once

// Writes each value into its INI file. An entry that keeps an existing value
// is skipped when its key holds a non-empty value.
void ApplyIniEntries();

// Writes each value as a string. An entry that keeps an existing value is
// skipped when the value exists and is not empty: a string whose first
// character is not 0, any other type with data, or a value longer than the
// 20-byte probe, whatever its type.
void ApplyRegistryEntries();

// Writes each entry's data (without terminator) into its file at the given
// offset, or right after the first occurrence of its pattern; nothing when
// the data is empty, the file is missing or the pattern is not in it.
void ApplyFilePatches();
