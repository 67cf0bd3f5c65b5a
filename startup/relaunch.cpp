#include "startup/relaunch.h"

#include <windows.h>

#include "engine/path_text.h"
#include "package/file_ops.h"
#include "package/patch_block.h"
#include "startup/process_state.h"
#include "startup/program_start.h"

namespace {

constexpr int kMaxCopyNames = 999;

bool StartedFromRemovableDrive() {
    char* path = g_state.work_path;
    GetModuleFileNameA(nullptr, path, kPathSize);
    if (!(path[0] == '\\' && path[1] == '\\') && path[1] == ':') path[3] = 0;
    return GetDriveTypeA(path) == DRIVE_REMOVABLE;
}

// Claims the first free "_inst<n>.exe" of the temporary folder. The file is
// made with create-new, so a name another process holds, or takes at the
// same moment, is never opened twice.
HANDLE ClaimCopyName(char* name) {
    char folder[kPathSize];
    DWORD n = GetTempPathA(kPathSize, folder);
    if (n == 0 || n >= kPathSize || !AddBackslash(folder, kPathSize)) return INVALID_HANDLE_VALUE;
    for (int i = 0; i < kMaxCopyNames; ++i) {
        char file_name[16];
        wsprintfA(file_name, "_inst%d.exe", i);
        lstrcpynA(name, folder, kPathSize);
        if (!AppendToPath(name, file_name, kPathSize)) break;
        HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// The first `length` bytes of the source: the stub without its package.
bool CopyStub(HANDLE from, HANDLE to, uint32_t length) {
    char buffer[8192];
    while (length) {
        uint32_t n = length < sizeof buffer ? length : sizeof buffer;
        if (ReadExactly(from, buffer, n) != 0 || WriteAll(to, buffer, n) != 0) return false;
        length -= n;
    }
    return true;
}

}  // namespace

bool RelaunchFromRemovableMedia(int show) {
    if (!StartedFromRemovableDrive()) return false;
    char copy[kPathSize];
    HANDLE target = ClaimCopyName(copy);
    if (target == INVALID_HANDLE_VALUE) return false;
    HANDLE source = OpenForReading(g_state.source_path);
    bool copied = source != INVALID_HANDLE_VALUE && CopyStub(source, target, StubLength());
    if (source != INVALID_HANDLE_VALUE) CloseFile(source);
    CloseFile(target);
    // Without a whole copy the program runs from the disk; no empty or
    // partial copy is left behind.
    char line[3 * kPathSize] = "\"";
    bool fits = AppendToPath(line, copy, sizeof line) && AppendToPath(line, "\" /S\"", sizeof line) &&
                AppendToPath(line, g_state.source_path, sizeof line) && AppendToPath(line, "\" /DEL", sizeof line);
    if (!copied || !fits || !StartProcess(copy, line, nullptr, show)) {
        DeleteFileA(copy);
        return false;
    }
    return true;
}
