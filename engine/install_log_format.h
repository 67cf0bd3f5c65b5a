// The install log: what an installation put on the system, appended by the
// setup program to the uninstaller file so that the uninstaller can read its
// own tail. It uses the package's record framing: sections of an 8-byte
// header (u16 tag, u16 0, u32 body size) and a body, closed by an end header.
//
//   files         0x1235  u32 count, then file records       always, first
//   shortcuts     0x1236  u32 count, then shortcut records   optional
//   uninstall key 0x1238  u32 root, then one string          optional
//   remembered    0x1239  u32 count, then remembered records optional
//   end           0x7F7F  empty                              always, last
//
// A string is a u16 length and that many ANSI bytes, no terminator. A file
// record is folder, name (strings) and a flags byte; a folder of "." or
// starting ".\" is relative to the install folder. A shortcut record is the
// folder that holds the link and the link's file name. A remembered record
// is where the destination folder was stored for the next setup to
// propose: a kind byte (1 registry, 2 INI), a u32 root (the package's
// registry root number; 0 for INI), then four strings: the key and value
// name, with an empty third, or the INI file, section and key; and last
// the folder as it was stored.
//
// The uninstaller file as the package carries it ends with 8 bytes that the
// log's first header replaces, so the log starts exactly where the
// uninstaller program's own bytes end.
#pragma once
#include <cstddef>
#include <cstdint>

enum : uint16_t {
    kLogFilesTag = 0x1235,
    kLogShortcutsTag = 0x1236,
    kLogUninstallKeyTag = 0x1238,
    kLogRememberedTag = 0x1239,
    kLogEndTag = 0x7F7F,
};
constexpr uint32_t kLogHeaderSize = 8;

// File record flags.
enum : uint8_t {
    kLogSharedFile = 0x01,     // its count under SharedDLLs was raised
    kLogFont = 0x02,           // installed in the Fonts folder and registered
    kLogSelfRegistered = 0x04, // DllRegisterServer was called
};

// The uninstall key section's root: HKEY_LOCAL_MACHINE.
constexpr uint32_t kLogUninstallRoot = 0x80000002;

// A text inside the log: not terminated.
struct LogText {
    const char* data;
    uint16_t size;
};

struct LogFileRecord {
    LogText folder, name;
    uint8_t flags;
};

struct LogShortcutRecord {
    LogText folder, name;
};

enum : uint8_t { kLogRememberedInRegistry = 1, kLogRememberedInIni = 2 };

struct LogRememberedRecord {
    uint8_t kind;
    uint32_t root;
    LogText place, name, key, folder;  // key: empty for the registry
};

// A log that passed ReadInstallLog: where each section's records start.
struct InstallLog {
    const uint8_t* files;  // first file record
    uint32_t file_count;
    const uint8_t* shortcuts;  // null when the log has no shortcuts section
    uint32_t shortcut_count;
    bool has_uninstall_key;
    uint32_t uninstall_root;
    LogText uninstall_key;
    const uint8_t* remembered;  // null when the log has no remembered section
    uint32_t remembered_count;
};

// Checks the log in data[0, size) (the bytes from the end of the uninstaller
// program to the end of its file) and fills `log`. False when anything is
// cut short or malformed: sections out of order or unknown, a section whose
// records do not fill its body exactly, a missing end header, or bytes after
// it. Nothing of a refused log may be acted on.
bool ReadInstallLog(const uint8_t* data, size_t size, InstallLog* log);

// Record readers over a log that ReadInstallLog accepted: each takes the
// record at *cursor and moves the cursor past it.
LogFileRecord NextLogFileRecord(const uint8_t** cursor);
LogShortcutRecord NextLogShortcutRecord(const uint8_t** cursor);
LogRememberedRecord NextLogRememberedRecord(const uint8_t** cursor);

// --- Writing ----------------------------------------------------------------
// The setup program encodes each piece with these and writes it to the end
// of the uninstaller file; ReadInstallLog accepts what they produce.

// The bytes of a section header.
void PutLogHeader(uint8_t* out, uint16_t tag, uint32_t body_size);

// Where a file record places a full path. With the install folder
// `destination` (ending in a backslash) as prefix, compared without regard
// to ASCII case, the folder is relative: "." when the rest holds no
// backslash, else ".\" and the rest up to its last backslash. Otherwise it
// is the path up to its last backslash. The name follows the last backslash
// (the whole path when it has none).
struct LogPathParts {
    bool relative;       // the folder is "." followed by folder[0, folder_size)
    const char* folder;  // inside path
    size_t folder_size;
    const char* name;  // inside path, terminated
};
LogPathParts SplitLogPath(const char* destination, const char* path);

// Largest record the writers below produce for texts of at most 519 bytes.
constexpr size_t kMaxLogRecordSize = 5 + 4 * (2 + 520);

// Each encodes one record into out[0, capacity) and returns its size, or 0
// when it does not fit. A text longer than 65,535 bytes is cut to its length's
// low 16 bits, so that a record always reads back as written.
size_t PutLogFileRecord(uint8_t* out, size_t capacity, const char* destination, const char* path, uint8_t flags);
size_t PutLogShortcutRecord(uint8_t* out, size_t capacity, const char* folder, size_t folder_size, const char* name);
// The uninstall key section's body: the root and the key path.
size_t PutLogUninstallKey(uint8_t* out, size_t capacity, const char* key_path);
// A remembered record; key is "" for the registry.
size_t PutLogRememberedRecord(uint8_t* out, size_t capacity, uint8_t kind, uint32_t root, const char* place,
                              const char* name, const char* key, const char* folder);
