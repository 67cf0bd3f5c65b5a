#include "engine/removal.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <initializer_list>
#include <utility>

#include "engine/delayed_replacement.h"
#include "engine/fonts.h"
#include "engine/memory.h"
#include "engine/path_text.h"
#include "engine/registry_root.h"
#include "engine/shared_files.h"
#include "engine/shell_folders.h"

namespace {

constexpr char kLocalMachine[] = "HKEY_LOCAL_MACHINE\\";

enum class Outcome { kNothing, kRemoved, kScheduled, kFailed };

void Count(RemovalReport* report, Outcome outcome, const char* what) {
    switch (outcome) {
    case Outcome::kNothing: break;
    case Outcome::kRemoved: ++report->removed; break;
    case Outcome::kScheduled: ++report->scheduled; break;
    case Outcome::kFailed: {
        ++report->failed;
        size_t used = std::strlen(report->failures), length = std::strlen(what);
        if (used + length + 3 > sizeof report->failures) {
            ++report->omitted;
            break;
        }
        std::memcpy(report->failures + used, what, length);
        std::memcpy(report->failures + used + length, "\r\n", 3);
        break;
    }
    }
}

// A refused record is reported as it reads, unprintable bytes shown as '?'.
void CountRefused(RemovalReport* report, const LogText& folder, const LogText& name) {
    char text[kRemovalPathSize];
    size_t n = 0;
    for (const LogText* part : {&folder, &name}) {
        if (part == &name && folder.size && n < sizeof text - 1) text[n++] = '\\';
        for (uint16_t i = 0; i < part->size && n < sizeof text - 1; ++i) {
            unsigned char c = static_cast<unsigned char>(part->data[i]);
            text[n++] = c < 32 ? '?' : char(c);
        }
    }
    text[n] = 0;
    Count(report, Outcome::kFailed, text);
}

bool Missing() {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A file in use goes at the next restart; a read-only file loses its
// attribute first, and gets it back when it stays.
Outcome RemoveFile(const char* path, DWORD attributes) {
    bool read_only = attributes & FILE_ATTRIBUTE_READONLY;
    if (read_only) SetFileAttributesA(path, (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(path)) return Outcome::kRemoved;
    if (Missing()) return Outcome::kNothing;
    if (ReplaceAtRestart(nullptr, path)) return Outcome::kScheduled;
    if (read_only) SetFileAttributesA(path, attributes);
    return Outcome::kFailed;
}

bool IsEmptyFolder(const char* path) {
    char pattern[kRemovalPathSize + 2];
    lstrcpynA(pattern, path, kRemovalPathSize);
    if (!AddBackslash(pattern, sizeof pattern) || !AppendToPath(pattern, "*", sizeof pattern)) return false;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool empty = true;
    do {
        const char* n = found.cFileName;
        if (!(n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))) empty = false;
    } while (empty && FindNextFileA(search, &found));
    FindClose(search);
    return empty;
}

// A folder the installation created goes only when nothing is left in it.
Outcome RemoveFolder(const char* path) {
    if (!IsEmptyFolder(path)) return Outcome::kNothing;
    if (RemoveDirectoryA(path)) return Outcome::kRemoved;
    return ReplaceAtRestart(nullptr, path) ? Outcome::kScheduled : Outcome::kFailed;
}

// Lowers the file's count in the shared-file register: true when it fell to
// 0 (the value is deleted and the file may go). A count that cannot be read
// keeps the file: another product may still use it.
bool ReleaseSharedFile(const char* path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, count = 0, size = sizeof count;
    bool last = false;
    if (RegQueryValueExA(key, path, nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) == ERROR_SUCCESS &&
        size == sizeof count) {
        if (count > 1) {
            --count;
            RegSetValueExA(key, path, 0, type, reinterpret_cast<BYTE*>(&count), size);
        } else {
            last = RegDeleteValueA(key, path) == ERROR_SUCCESS;
        }
    }
    RegCloseKey(key);
    return last;
}

void Unregister(const char* path) {
    UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Libraries it needs are looked for beside it, as when it was
    // registered, not in the folder the uninstaller runs from.
    HMODULE library = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    SetErrorMode(mode);
    if (!library) return;
    using Entry = HRESULT(STDAPICALLTYPE*)();
    // Through void*: a library entry's type is not FARPROC's.
    if (auto unregister = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, "DllUnregisterServer"))))
        unregister();
    FreeLibrary(library);
}

void RemoveFileRecord(const LogFileRecord& record, const InstalledFolders& folders, const char* own_file,
                      bool release_counts, RemovalReport* report) {
    RemovalTarget t;
    if (ResolveFileRecord(record, folders, &t) == RemovalPlace::kRefused) return CountRefused(report, record.folder, record.name);
    if (own_file && lstrcmpiA(t.path, own_file) == 0) return;
    DWORD attributes = GetFileAttributesA(t.path);
    bool missing = attributes == INVALID_FILE_ATTRIBUTES && Missing();
    Outcome outcome = Outcome::kNothing;
    if (!missing && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // Only the installation's own folders are ever taken away.
        outcome = t.place == RemovalPlace::kInstallFolder ? RemoveFolder(t.path) : Outcome::kFailed;
    } else if ((t.flags & kLogSharedFile) && (!release_counts || !ReleaseSharedFile(t.path))) {
        return;  // still used by another installation, or released by an earlier run
    } else if (attributes == INVALID_FILE_ATTRIBUTES) {
        outcome = missing ? Outcome::kNothing : Outcome::kFailed;
    } else {
        if (t.flags & kLogSelfRegistered) Unregister(t.path);
        if ((t.flags & kLogFont) && !UninstallFont(t.path)) Count(report, Outcome::kFailed, t.path);
        outcome = RemoveFile(t.path, attributes);
    }
    Count(report, outcome, t.path);
    if (outcome != Outcome::kFailed) RemoveEmptyFolders(t.path, t.keep);
}

void RemoveShortcutRecord(const LogShortcutRecord& record, const InstalledFolders& folders, RemovalReport* report) {
    RemovalTarget t;
    if (ResolveShortcutRecord(record, folders, &t) == RemovalPlace::kRefused)
        return CountRefused(report, record.folder, record.name);
    DWORD attributes = GetFileAttributesA(t.path);
    Outcome outcome = Outcome::kNothing;
    if (attributes == INVALID_FILE_ATTRIBUTES) outcome = Missing() ? Outcome::kNothing : Outcome::kFailed;
    else if (attributes & FILE_ATTRIBUTE_DIRECTORY) outcome = Outcome::kFailed;
    else outcome = RemoveFile(t.path, attributes);
    Count(report, outcome, t.path);
    if (outcome != Outcome::kFailed) RemoveEmptyFolders(t.path, t.keep);
}

// A log text as a terminated string: false when it does not fit or holds a
// NUL, which would make it name something else.
bool TerminatedText(char* out, const LogText& text) {
    if (text.size >= kRemovalPathSize || std::memchr(text.data, 0, text.size)) return false;
    std::memcpy(out, text.data, text.size);
    out[text.size] = 0;
    return true;
}

// The remembered destination folder goes only while it still names the
// folder this installation stored: a later installation elsewhere has put
// its own there, which stays. The key or section goes with it only when
// nothing else is left in it.
void RemoveRememberedRecord(const LogRememberedRecord& r, RemovalReport* report) {
    char place[kRemovalPathSize], name[kRemovalPathSize], key[kRemovalPathSize], folder[kRemovalPathSize];
    char stored[kRemovalPathSize] = "";
    if (!TerminatedText(place, r.place) || !TerminatedText(name, r.name) || !TerminatedText(key, r.key) ||
        !TerminatedText(folder, r.folder))
        return CountRefused(report, r.place, r.name);
    Outcome outcome = Outcome::kNothing;
    if (r.kind == kLogRememberedInRegistry) {
        HKEY root = RegistryRoot(r.root), opened;
        if (RegOpenKeyExA(root, place, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &opened) != ERROR_SUCCESS) return;
        DWORD type = 0, size = sizeof stored - 1, subkeys = 1, values = 1;
        if (RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(stored), &size) == ERROR_SUCCESS &&
            type == REG_SZ && (stored[size] = 0, lstrcmpiA(stored, folder) == 0))
            outcome = RegDeleteValueA(opened, name) == ERROR_SUCCESS ? Outcome::kRemoved : Outcome::kFailed;
        bool empty = outcome == Outcome::kRemoved &&
                     RegQueryInfoKeyA(opened, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                      nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                     !subkeys && !values;
        RegCloseKey(opened);
        if (empty) RegDeleteKeyA(root, place);
    } else {
        GetPrivateProfileStringA(name, key, "", stored, sizeof stored, place);
        if (stored[0] && lstrcmpiA(stored, folder) == 0) {
            outcome = WritePrivateProfileStringA(name, key, nullptr, place) ? Outcome::kRemoved : Outcome::kFailed;
            char rest[4];
            if (outcome == Outcome::kRemoved && !GetPrivateProfileSectionA(name, rest, sizeof rest, place))
                WritePrivateProfileStringA(name, nullptr, nullptr, place);
            WritePrivateProfileStringA(nullptr, nullptr, nullptr, place);  // writes the cached file to disk
        }
    }
    Count(report, outcome, place);
}

// Kept while anything else remains: the entry is how the user retries.
void RemoveUninstallKey(const InstallLog& log, RemovalReport* report) {
    char key[kRemovalPathSize], shown[sizeof kLocalMachine + kRemovalPathSize];
    if (!ResolveUninstallKey(log, key)) return CountRefused(report, LogText{"", 0}, log.uninstall_key);
    if (report->failed) return;
    lstrcpyA(shown, kLocalMachine);
    lstrcatA(shown, key);
    LONG result = RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    Count(report, result == ERROR_SUCCESS ? Outcome::kRemoved
                  : result == ERROR_FILE_NOT_FOUND ? Outcome::kNothing
                                                   : Outcome::kFailed,
          shown);
}

// Where each record of a section starts, so that they can be taken from
// the last to the first. Null when there is no memory: the records are
// then taken in the order written.
const uint8_t** RecordStarts(const uint8_t* first, uint32_t count, bool files) {
    void* block = nullptr;
    if (!count || !AllocRetry(&block, size_t(count) * sizeof(const uint8_t*))) return nullptr;
    const uint8_t** starts = static_cast<const uint8_t**>(block);
    const uint8_t* at = first;
    for (uint32_t i = 0; i < count; ++i) {
        starts[i] = at;
        if (files) NextLogFileRecord(&at);
        else NextLogShortcutRecord(&at);
    }
    return starts;
}

template <typename Record, typename Next, typename Remove>
void RemoveSection(const uint8_t* first, uint32_t count, bool files, Next next, Remove remove) {
    if (!first) return;
    const uint8_t** starts = RecordStarts(first, count, files);
    const uint8_t* at = first;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* record = starts ? starts[count - 1 - i] : at;
        Record r = next(&record);
        at = record;
        remove(r);
    }
    void* block = starts;
    FreeAndClear(&block);
}

}  // namespace

void FindSystemFolders(const char* install_folder, SystemFolders* f) {
    lstrcpynA(f->install, install_folder, kRemovalPathSize);
    StripBackslash(f->install);
    UINT n = GetWindowsDirectoryA(f->windows, kRemovalPathSize);
    if (!n || n >= kRemovalPathSize) f->windows[0] = 0;
    n = GetSystemDirectoryA(f->system, kRemovalPathSize);
    if (!n || n >= kRemovalPathSize) f->system[0] = 0;
    StripBackslash(f->windows);
    StripBackslash(f->system);
    // Unknown folders stay empty and admit nothing.
    for (auto [csidl, folder] : {std::pair{CSIDL_FONTS, f->fonts}, {CSIDL_DESKTOP, f->desktop},
                                 {CSIDL_PROGRAMS, f->programs}, {CSIDL_STARTMENU, f->start_menu},
                                 {CSIDL_STARTUP, f->startup}})
        if (SpecialFolderPath(csidl, folder)) StripBackslash(folder);
    f->view = InstalledFolders{f->install, f->windows, f->system, f->fonts, f->desktop,
                               {f->programs, f->start_menu, f->startup}};
}

void RemoveInstallation(const InstallLog& log, const InstalledFolders& folders, const char* own_file,
                        bool release_counts, RemovalReport* report) {
    std::memset(report, 0, sizeof *report);
    RemoveSection<LogShortcutRecord>(log.shortcuts, log.shortcut_count, false, NextLogShortcutRecord,
                                     [&](const LogShortcutRecord& r) { RemoveShortcutRecord(r, folders, report); });
    RemoveSection<LogFileRecord>(log.files, log.file_count, true, NextLogFileRecord,
                                 [&](const LogFileRecord& r) {
                                     RemoveFileRecord(r, folders, own_file, release_counts, report);
                                 });
    const uint8_t* remembered = log.remembered;
    for (uint32_t i = 0; remembered && i < log.remembered_count; ++i)
        RemoveRememberedRecord(NextLogRememberedRecord(&remembered), report);
    if (log.has_uninstall_key) RemoveUninstallKey(log, report);
}

void RemoveEmptyFolders(const char* path, size_t keep) {
    char folder[kRemovalPathSize];
    if (!CopyText(folder, path, sizeof folder)) return;
    for (;;) {
        char* slash = FindLastBackslash(folder);
        if (!slash) return;
        *slash = 0;
        if (size_t(slash - folder) <= keep || !RemoveDirectoryA(folder)) return;
    }
}

int RemovalExitCode(const RemovalReport& report) {
    if (report.failed) return ERROR_INSTALL_FAILURE;
    return report.scheduled ? ERROR_SUCCESS_REBOOT_REQUIRED : 0;
}
