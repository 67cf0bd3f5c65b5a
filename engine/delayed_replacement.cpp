#include "engine/delayed_replacement.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "engine/memory.h"
#include "engine/path_text.h"
#include "package/file_ops.h"
#include "package/package_format.h"
#include "startup/process_state.h"

namespace {

constexpr char kRenameSection[] = "Rename";
// The INI functions keep one key of a name per section, so deletions are
// written under this key and the key is then changed to NUL in the file.
constexpr char kPlaceholderKey[] = "xyz";

bool ShortPath(const char* path, char* out) {
    DWORD length = GetShortPathNameA(path, out, kPathSize);
    return length != 0 && length < kPathSize;
}

bool WininitPath(char* path) {
    UINT length = GetWindowsDirectoryA(path, kPathSize);
    return length != 0 && length < kPathSize && AddBackslash(path, kPathSize) &&
           AppendToPath(path, "WININIT.INI", kPathSize);
}

bool WriteRenameLine(const char* ini, const char* key, const char* value) {
    bool written = WritePrivateProfileStringA(kRenameSection, key, value, ini);
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini);  // flushes the INI cache to the file
    return written;
}

bool SameIgnoringCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = char(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = char(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// The offset of the whole line "xyz=<value>" in the [Rename] section, or -1.
// Whole lines only: the same bytes inside another key, another value or
// another section are not the placeholder.
int32_t FindPlaceholderLine(const char* text, uint32_t size, const char* value) {
    size_t value_length = std::strlen(value);
    bool in_rename = false;
    uint32_t at = 0;
    while (at < size) {
        uint32_t end = at;
        while (end < size && text[end] != '\r' && text[end] != '\n') ++end;
        const char* line = text + at;
        uint32_t length = end - at;
        if (length && line[0] == '[') {
            in_rename = length >= 8 && SameIgnoringCase(line, "[Rename]", 8);
        } else if (in_rename && length == 4 + value_length && SameIgnoringCase(line, kPlaceholderKey, 3) &&
                   line[3] == '=' && std::memcmp(line + 4, value, value_length) == 0) {
            return int32_t(at);
        }
        at = end;
        while (at < size && (text[at] == '\r' || text[at] == '\n')) ++at;
    }
    return -1;
}

// Turns the placeholder line of this source into NUL=source.
bool PatchPlaceholder(const char* ini, const char* source) {
    HANDLE file = OpenForReadingAndWriting(ini);
    if (file == INVALID_HANDLE_VALUE) return false;
    uint32_t size = FileSize(file);
    void* text = nullptr;
    bool patched = false;
    if (size != 0 && size != INVALID_FILE_SIZE && AllocRetry(&text, size) && ReadExactly(file, text, size) == 0) {
        int32_t line = FindPlaceholderLine(static_cast<const char*>(text), size, source);
        // Only the key's three bytes change; the rest of the file is not rewritten.
        patched = line >= 0 && Seek(file, line, FILE_BEGIN) == uint32_t(line) && WriteAll(file, "NUL", 3) == 0;
    }
    FreeAndClear(&text);
    CloseFile(file);
    return patched;
}

bool WriteToWininit(const char* destination, const char* source) {
    char ini[kPathSize], short_source[kPathSize], short_destination[kPathSize];
    // Start-up on that platform reads only 8.3 paths. When either short path
    // cannot be had (a destination that does not exist yet has none),
    // nothing is written rather than a line it could not carry out.
    if (!WininitPath(ini) || !ShortPath(source, short_source)) return false;
    if (destination)
        return ShortPath(destination, short_destination) && WriteRenameLine(ini, short_destination, short_source);
    return WriteRenameLine(ini, kPlaceholderKey, short_source) && PatchPlaceholder(ini, short_source);
}

}  // namespace

bool ReplaceAtRestart(const char* destination, const char* source) {
    if (g_state.is_nt) {
        if (destination) return MoveFileExA(source, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
        return MoveFileExA(source, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    return WriteToWininit(destination, source);
}
