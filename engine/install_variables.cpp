#include "engine/install_variables.h"

#include <windows.h>

#include <cstring>

#include "engine/memory.h"
#include "engine/path_text.h"
#include "startup/process_state.h"

namespace {

struct WorkArea {
    char* text;       // kWorkAreaSize bytes, zero-filled
    uint32_t length;  // never above kWorkAreaSize - 1
    bool Full() const { return length == kWorkAreaSize - 1; }
    void Put(const char* piece, size_t size) {
        size_t room = kWorkAreaSize - 1 - length;
        if (size > room) size = room;
        std::memcpy(text + length, piece, size);
        length += uint32_t(size);
        text[length] = 0;
    }
};

bool NameIs(const char* name, size_t size, const char* known) {
    if (std::strlen(known) != size) return false;
    for (size_t i = 0; i < size; ++i) {
        char a = name[i], b = known[i];
        if (a >= 'a' && a <= 'z') a = char(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = char(b - 'a' + 'A');
        if (a != b) return false;
    }
    return true;
}

void FolderFrom(UINT (WINAPI* get)(LPSTR, UINT), char* value) {
    UINT length = get(value, kPathSize);
    if (length == 0 || length >= kPathSize) value[0] = 0;
}

// False when the value cannot be read: the placeholder then stays as written.
bool ReadProgramFiles(char* value) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = kPathSize - 1;  // room for a terminator the stored text may lack
    LONG result = RegQueryValueExA(key, "ProgramFilesDir", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    value[size] = 0;
    return true;
}

// Puts the value of the placeholder `name` (both '#' included).
void PutValue(WorkArea& work, const char* name, size_t size) {
    char value[kPathSize] = "";
    if (NameIs(name, size, "#Windows#")) {
        FolderFrom(GetWindowsDirectoryA, value);
    } else if (NameIs(name, size, "#System#")) {
        FolderFrom(GetSystemDirectoryA, value);
    } else if (NameIs(name, size, "#Program Files#")) {
        if (!ReadProgramFiles(value)) return work.Put(name, size);
    } else if (NameIs(name, size, "#InstallDir#")) {
        CopyText(value, g_state.destination_folder, kPathSize);
    } else if (NameIs(name, size, "#SourceDir#")) {
        CopyText(value, g_state.source_path, kPathSize);
        if (char* cut = FindLastBackslash(value)) *cut = 0;
    } else if (NameIs(name, size, "#Date#")) {
        SYSTEMTIME now;
        GetSystemTime(&now);
        wsprintfA(value, "%lu", static_cast<unsigned long>(now.wYear * 10000UL + now.wMonth * 100UL + now.wDay));
    }
    StripBackslash(value);
    work.Put(value, std::strlen(value));
}

}  // namespace

uint32_t ExpandInstallVariables(char* output, const char* input, uint32_t capacity) {
    bool writes = output && capacity > 0;
    void* block;
    if (!AllocZeroedRetry(&block, kWorkAreaSize)) {
        if (writes) CopyText(output, input, capacity);
        return uint32_t(std::strlen(input));
    }
    WorkArea work = {static_cast<char*>(block), 0};
    const char* read = input;
    while (!work.Full()) {
        const char* open = std::strchr(read, '#');
        const char* close = open ? std::strchr(open + 1, '#') : nullptr;
        if (!close) break;  // a '#' without a closing one is plain text
        work.Put(read, size_t(open - read));
        PutValue(work, open, size_t(close - open + 1));
        read = close + 1;
    }
    work.Put(read, std::strlen(read));
    if (writes) CopyText(output, work.text, capacity);
    uint32_t length = work.length;
    FreeAndClear(&block);
    return length;
}

char* ExpandToNewBlock(const char* text, uint32_t* length) {
    *length = ExpandInstallVariables(nullptr, text, 0);
    void* block;
    if (!AllocRetry(&block, *length + 1)) return nullptr;
    ExpandInstallVariables(static_cast<char*>(block), text, *length + 1);
    return static_cast<char*>(block);
}
