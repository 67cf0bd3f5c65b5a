#include "engine/install_log.h"

#include <shlobj.h>

#include <cstring>

#include "engine/entry_paths.h"
#include "engine/extraction.h"
#include "engine/install_log_format.h"
#include "engine/path_text.h"
#include "engine/shell_folders.h"
#include "package/file_list.h"
#include "package/file_ops.h"
#include "package/setup_config.h"
#include "startup/process_state.h"

namespace {

void Write(LogFile* log, const void* bytes, uint32_t size) {
    if (log->file != INVALID_HANDLE_VALUE) WriteAll(log->file, bytes, size);
}

// A file record for the path in the work path. An empty path (one that
// could not be resolved) names nothing that was made.
void LogWorkPath(LogFile* log, uint8_t flags) {
    if (!g_state.work_path[0]) return;
    uint8_t record[kMaxLogRecordSize];
    size_t size = PutLogFileRecord(record, sizeof record, g_state.destination_folder, g_state.work_path, flags);
    WriteLogRecord(log, record, size);
}

uint8_t FileRecordFlags(const uint8_t* entry) {
    uint8_t flags = 0;
    if (entry[kEntryDestinationKind] != kDestinationFolder && entry[kEntrySharedCount] == 1) flags |= kLogSharedFile;
    if (entry[kEntryDestinationKind] == kDestinationFonts) flags |= kLogFont;
    if (entry[kEntryInstallAction] == 2) flags |= kLogSelfRegistered;
    return flags;
}

void WriteFilesSection(LogFile* log, uint32_t start) {
    AddBackslash(g_state.destination_folder, kPathSize);
    BeginLogSection(log, kLogFilesTag, start - kLogHeaderSize);
    const uint8_t* entry = g_config.current_first_entry;
    for (uint32_t i = 0; entry && i < g_config.current_file_count; ++i, entry = NextEntry(entry)) {
        ResolveEntryPath(entry);
        uint8_t placement = entry[kEntryPlacement];
        uint16_t status = ReadU16(entry + kEntryInstallStatus);
        if (placement == kPlacementFolder) {
            LogWorkPath(log, 0);
        } else if (placement == kPlacementRemoved && (status == kStatusReplaced || status == kStatusNew)) {
            LogWorkPath(log, FileRecordFlags(entry));
        }
        // Logged by its name, whether or not the link could be made.
        const char* desktop_name = EntryString(entry, 4);
        char* work = g_state.work_path;
        if (desktop_name[0] && SpecialFolderPath(CSIDL_DESKTOP, work) && AddBackslash(work, sizeof g_state.work_path) &&
            AppendToPath(work, desktop_name, sizeof g_state.work_path) &&
            AppendToPath(work, ".lnk", sizeof g_state.work_path))
            LogWorkPath(log, 0);
    }
    EndLogSection(log, kLogFilesTag);
}

}  // namespace

void OpenInstallLog(LogFile* log, const char* uninstaller_path) {
    log->file = OpenForReadingAndWriting(uninstaller_path);
    log->section_at = 0;
    log->count = 0;
    uint32_t start = log->file != INVALID_HANDLE_VALUE ? Seek(log->file, 0, FILE_END) : 0;
    if (start < kLogHeaderSize || start == INVALID_SET_FILE_POINTER) {
        CloseFile(log->file);
        log->file = INVALID_HANDLE_VALUE;
    }
    WriteFilesSection(log, start);
}

void BeginLogSection(LogFile* log, uint16_t tag, uint32_t at) {
    log->section_at = at;
    log->count = 0;
    if (log->file == INVALID_HANDLE_VALUE) return;
    uint8_t head[kLogHeaderSize + 4] = {};
    PutLogHeader(head, tag, 0);
    Seek(log->file, int32_t(at), FILE_BEGIN);
    Write(log, head, sizeof head);
}

void EndLogSection(LogFile* log, uint16_t tag) {
    if (log->file == INVALID_HANDLE_VALUE) return;
    uint32_t end = Tell(log->file);
    uint8_t head[kLogHeaderSize + 4];
    PutLogHeader(head, tag, end - log->section_at - kLogHeaderSize);
    WriteU32(head + kLogHeaderSize, log->count);
    Seek(log->file, int32_t(log->section_at), FILE_BEGIN);
    Write(log, head, sizeof head);
    Seek(log->file, int32_t(end), FILE_BEGIN);
}

void WriteLogRecord(LogFile* log, const uint8_t* record, size_t size) {
    if (log->file == INVALID_HANDLE_VALUE || size == 0) return;
    if (WriteAll(log->file, record, uint32_t(size)) == 0) ++log->count;
}

uint32_t LogEnd(const LogFile* log) { return log->file != INVALID_HANDLE_VALUE ? Tell(log->file) : 0; }

void WriteLogUninstallKey(LogFile* log, const char* key_path) {
    uint8_t section[kLogHeaderSize + kMaxLogRecordSize];
    size_t size = PutLogUninstallKey(section + kLogHeaderSize, sizeof section - kLogHeaderSize, key_path);
    if (!size) return;
    PutLogHeader(section, kLogUninstallKeyTag, uint32_t(size));
    Write(log, section, uint32_t(kLogHeaderSize + size));
}

void CloseInstallLog(LogFile* log) {
    uint8_t end[kLogHeaderSize];
    PutLogHeader(end, kLogEndTag, 0);
    Write(log, end, sizeof end);
    CloseFile(log->file);
    log->file = INVALID_HANDLE_VALUE;
}
