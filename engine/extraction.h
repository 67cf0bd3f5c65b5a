// One file list entry from the archive to its destination: whether the
// file is to be written at all (identical content, version and language
// tests), the new file's bytes in a temporary file beside the destination,
// their proof against the entry's checksum, and the temporary file put in
// the destination's place, at once or at the next restart.
//
// The destination is the work path as ResolveEntryPath leaves it; the
// temporary file's name is kept in the temporary path. Every step that
// fails sets the install error (and, where the message names a file, the
// message argument) and returns 0. An existing destination is only ever
// replaced by a file that has passed its checksum, and never removed
// before its replacement is in place.
#pragma once
#include <windows.h>

#include <cstdint>

// Install statuses kept in each entry.
enum : uint16_t {
    kStatusNotPlaced = 0,
    kStatusReplaced = 23,  // placed over an existing file, or one with its content accepted as it is
    // An existing file of other content that the user chose to keep (Ignore),
    // or a font that could not be replaced: this installation did not write
    // it, so its log does not name it and an uninstall leaves it.
    kStatusKept = 24,
    kStatusNew = 25,       // placed where no file was before
    kStatusRefused = 27,   // the user chose Abort, or placement is under way
};

// Answers of CannotReplace (the MessageBoxA answers).
enum : int { kAnswerAbort = IDABORT, kAnswerRetry = IDRETRY, kAnswerIgnore = IDIGNORE };

// Why the last entry left the existing file in place, for the unattended
// installation's log: set by NeedsInstall and CannotReplace.
enum : uint8_t {
    kKeptNothing = 0,    // the entry was written (or failed)
    kKeptIdentical = 1,  // the existing file already has the entry's content
    kKeptExisting = 2,   // newer, of another language, or not replaceable and ignored
};
extern uint8_t g_kept_existing;

// The checksum of a whole open file, read from its start in 16,384-byte
// blocks. 0 when no block can be allocated.
uint32_t FileChecksum(HANDLE file);

// 1 when the entry is to be installed, 0 to keep the file that is there.
// An in-use file identical in size and checksum is kept; otherwise the
// version and language tests decide when the entry asks for them.
int NeedsInstall(const uint8_t* entry, int in_use);

// 1 to install, 0 to keep the existing destination: an existing file with
// a higher file version, or of another language, is kept unless the user
// answers Yes to the package's question (group 6, index 29 or 30).
int VersionTest(const uint8_t* entry);

// Creates every folder of the destination path, then a new temporary file
// beside it named with the extension ".$$A" (".$$B", ... while the name is
// taken). Its name goes into the temporary path. INVALID_HANDLE_VALUE with
// install error 17 when none can be created.
HANDLE CreateTemporaryFile();

// Fills the temporary file (which it closes) with the entry's file from the
// archive and verifies it: a plain entry is decoded, an uninstaller entry is
// the uninstaller body followed by its decoded data, a delta entry is built
// from its base entry. The progress values bound the bar while a delta is
// applied. 1, or 0 with the install error set.
int ExtractEntry(const uint8_t* entry, HANDLE temporary, int progress_start, int progress_end);

// Applies the delta entry's commands to the base file, which it replaces on
// success. 1, or 0 with the install error set.
int ApplyDelta(const uint8_t* entry, const char* base_path, int progress_start, int progress_end);

// Puts the temporary file in the destination's place now, clearing and
// restoring a read-only attribute, and asks CannotReplace while the
// destination cannot be replaced. Sets the entry's status.
void PlaceNow(uint8_t* entry, const char* temporary_path);

// The destination could not be replaced: schedules system and shared files
// for the next restart, keeps fonts and identical files as they are, and
// asks the user about the rest. Returns kAnswerAbort, kAnswerRetry or
// kAnswerIgnore and sets the entry's status.
int CannotReplace(uint8_t* entry, const char* temporary_path);

// The whole road of a file that NeedsInstall accepted: temporary file,
// ExtractEntry, then PlaceNow, or the replacement at the next restart when
// the destination is in use. 1 when the entry is done (placed, scheduled or
// kept as it is); 0 with the install error set (22 when the user refused
// the placement), the temporary file deleted and the temporary path empty.
int ExtractAndPlace(uint8_t* entry, int in_use, int progress_start = 0, int progress_end = 0);
