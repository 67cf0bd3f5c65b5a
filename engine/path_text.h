// Path and text routines on zero-terminated byte strings, worked in place.
// Folder paths inside the install engine carry one trailing backslash; a
// drive root such as C:\ always keeps its own.
//
// A routine that builds a path from pieces never writes past `capacity`
// bytes. When the result does not fit, the path becomes empty and the
// routine returns false: the file operation that follows then fails,
// instead of touching a file whose name was cut short.
//
// In a double-byte code page (Japanese, Chinese, Korean) the second byte of
// a character may be 0x5C, the backslash's: the routines here step over
// each character whole, so that such a byte never splits a path. The
// programs tell them the system's lead bytes at start; until then every
// byte stands alone.
#pragma once
#include <cstddef>

// The lead byte ranges as Windows' CPINFO gives them: 12 bytes, pairs of
// first and last byte, ended by a pair of zeros unless all 6 are used.
void SetLeadBytes(const unsigned char* ranges);

// True when the byte starts a two-byte character.
bool IsLeadByte(char byte);

// The first backslash of the text, or null.
char* FindBackslash(const char* text);

// The last backslash of the text, or null.
char* FindLastBackslash(const char* text);

// True when the text's last character is a backslash.
bool EndsInBackslash(const char* text);

// Copies text, cut to capacity - 1 bytes and terminated; true when whole.
bool CopyText(char* target, const char* text, size_t capacity);

// Appends text to path, or empties it when the result would not fit.
bool AppendToPath(char* path, const char* text, size_t capacity);

// Appends a backslash unless the path is empty or already ends in one.
bool AddBackslash(char* path, size_t capacity);

// Removes one trailing backslash from a path longer than three characters.
void StripBackslash(char* path);

// Replaces the extension of the path's last element (from its last dot on),
// or appends the new one when that element has no dot.
bool ReplaceExtension(char* path, const char* extension, size_t capacity);

// Shortens a long path for a progress line by replacing middle folders with
// "...": C:\Program Files\Company\App\bin\file.dll becomes
// C:\Program Files\...\file.dll with limit 30. Never lengthens the path.
void ShortenPathForDisplay(char* path, size_t limit);
