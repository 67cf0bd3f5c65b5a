// Writing the install log onto the end of the uninstaller file (the layout
// is engine/install_log_format.h). Every write is best effort: a log that
// cannot be opened makes every call below do nothing, and one cut short by
// a failed write stays as it is.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

struct LogFile {
    HANDLE file;
    uint32_t section_at;  // the open section's header
    uint32_t count;       // records written into it
};

// Opens the uninstaller file and writes the files section: a record for
// every folder entry, every file placed for removal at uninstall (with its
// shared, font and self-registration flags) and every desktop shortcut of
// the current file list. Its header takes the place of the file's last 8
// bytes, the uninstaller's own closing header. A file shorter than that is
// no uninstaller: nothing is written to it.
void OpenInstallLog(LogFile* log, const char* uninstaller_path);

// A section whose header lies at `at`: written with size 0 and a record
// count of 0 now, and with both filled in by EndLogSection.
void BeginLogSection(LogFile* log, uint16_t tag, uint32_t at);
void EndLogSection(LogFile* log, uint16_t tag);

// Writes one encoded record of the open section and counts it.
void WriteLogRecord(LogFile* log, const uint8_t* record, size_t size);

// Where the log ends now.
uint32_t LogEnd(const LogFile* log);

// The uninstall key section, naming the key under HKEY_LOCAL_MACHINE.
void WriteLogUninstallKey(LogFile* log, const char* key_path);

// Writes the end header and closes the file.
void CloseInstallLog(LogFile* log);
