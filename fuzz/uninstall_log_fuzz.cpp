// Any bytes may follow the uninstaller's program: its texts part and the
// install log are read only inside them (an exact-size heap copy, watched
// by AddressSanitizer), and a log that passes still yields only paths in
// the places an installation writes, without a way up out of them.
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/install_log_format.h"
#include "engine/removal_targets.h"
#include "engine/uninstaller_data.h"

namespace {

const InstalledFolders kFolders = {"C:\\App", "C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\WINDOWS\\Fonts",
                                   "C:\\Desktop", {"C:\\Start\\Programs", "C:\\Start", "C:\\Start\\Programs\\Startup"}};

// Every element after the root is one the platform takes as written: not
// empty, not ending in a dot or blank (so never "." or ".."), no "/" or ":".
bool Plain(const char* path) {
    size_t n = std::strlen(path);
    if (n >= kRemovalPathSize || std::strchr(path, '/')) return false;
    size_t at = path[0] == '\\' ? 2 : 0;
    if (at == 0 && (n < 2 || path[1] != ':')) return false;
    for (size_t start = at == 0 ? 3 : 2; start <= n;) {
        const char* end = std::strchr(path + start, '\\');
        size_t stop = end ? size_t(end - path) : n;
        if (stop == start || path[stop - 1] == '.' || path[stop - 1] == ' ') return false;
        for (size_t i = start; i < stop; ++i)
            if (path[i] == ':') return false;
        start = stop + 1;
    }
    return true;
}

bool DirectlyIn(const char* path, const char* folder) {
    size_t n = std::strlen(folder);
    return IsInFolder(path, folder) && path[n] == '\\' && !std::strchr(path + n + 1, '\\');
}

void Check(const RemovalTarget& t) {
    if (t.place == RemovalPlace::kRefused) return;
    if (!Plain(t.path) || t.keep > std::strlen(t.path)) abort();
    switch (t.place) {
    case RemovalPlace::kInstallFolder:
        if (!IsInFolder(t.path, kFolders.install) || (t.flags & kLogFont)) abort();
        break;
    case RemovalPlace::kSharedFolder:
        if (!(t.flags & kLogSharedFile) || !(DirectlyIn(t.path, kFolders.system) || DirectlyIn(t.path, kFolders.windows)))
            abort();
        break;
    case RemovalPlace::kFontsFolder:
        if (!(t.flags & kLogFont) || !DirectlyIn(t.path, kFolders.fonts)) abort();
        break;
    case RemovalPlace::kDesktop:
        if (t.flags || !DirectlyIn(t.path, kFolders.desktop)) abort();
        break;
    case RemovalPlace::kShortcutRoot:
        if (!IsInFolder(t.path, kFolders.shortcut_roots[1])) abort();
        break;
    default: abort();
    }
}

// Records made straight from the bytes, their folders starting with the
// folders the rules know, so that admitted paths are reached at all: each
// record is a prefix choice (its top bit: the name ends in ".lnk"), flags,
// two lengths, the folder's rest, the name.
void CheckMadeRecords(const uint8_t* data, size_t size) {
    const std::string prefixes[] = {"", ".", ".\\", kFolders.install, std::string(kFolders.install) + "\\",
                                    kFolders.windows, kFolders.system, kFolders.fonts, kFolders.desktop,
                                    kFolders.shortcut_roots[0], kFolders.shortcut_roots[1], kFolders.shortcut_roots[2]};
    constexpr size_t kPrefixes = sizeof prefixes / sizeof prefixes[0];
    for (size_t at = 0; size - at >= 4;) {
        const std::string& prefix = prefixes[(data[at] & 0x7F) % kPrefixes];
        bool link = data[at] & 0x80;
        uint8_t flags = data[at + 1];
        size_t folder_size = std::min<size_t>(data[at + 2] % 64, size - at - 4);
        size_t name_size = std::min<size_t>(data[at + 3] % 32, size - at - 4 - folder_size);
        std::string folder = prefix + std::string(reinterpret_cast<const char*>(data + at + 4), folder_size);
        std::string name(reinterpret_cast<const char*>(data + at + 4 + folder_size), name_size);
        if (link) name += ".lnk";
        at += 4 + folder_size + name_size;
        LogText f = {folder.data(), uint16_t(folder.size())}, n = {name.data(), uint16_t(name.size())};
        RemovalTarget t;
        ResolveFileRecord(LogFileRecord{f, n, flags}, kFolders, &t);
        Check(t);
        ResolveShortcutRecord(LogShortcutRecord{f, n}, kFolders, &t);
        Check(t);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckMadeRecords(data, size);
    std::vector<uint8_t> file(data, data + size);
    UninstallerTexts texts;
    size_t log_start = ReadUninstallerTexts(file.data(), file.size(), &texts);
    // Inputs without a sound texts part still exercise the log reader on all of them.
    std::vector<uint8_t> log_bytes(file.begin() + long(log_start), file.end());
    InstallLog log;
    if (!ReadInstallLog(log_bytes.data(), log_bytes.size(), &log)) return 0;
    const uint8_t* at = log.files;
    for (uint32_t i = 0; i < log.file_count; ++i) {
        RemovalTarget t;
        ResolveFileRecord(NextLogFileRecord(&at), kFolders, &t);
        Check(t);
    }
    at = log.shortcuts;
    for (uint32_t i = 0; at && i < log.shortcut_count; ++i) {
        RemovalTarget t;
        ResolveShortcutRecord(NextLogShortcutRecord(&at), kFolders, &t);
        Check(t);
    }
    char key[kRemovalPathSize];
    if (ResolveUninstallKey(log, key) && std::strchr(key + 52, '\\')) abort();
    return 0;
}
