#include "engine/programs.h"

#include <cstring>

#include "engine/path_text.h"
#include "engine/uninstall_entry.h"
#include "package/file_ops.h"
#include "package/setup_config.h"
#include "package/string_groups.h"

namespace {

constexpr DWORD kDeleteRetryMs = 3000;
constexpr DWORD kPollMs = 50;  // between looks at the queue, instead of spinning

// Keeps the window's queue looked at, so that the system sees the program
// alive, without dispatching anything.
void LookAtMessages() {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

// The uninstaller path of setup type k's uninstall entry into value; false
// when the type has no uninstaller or no readable entry.
bool OtherUninstaller(int k, char* value, DWORD capacity) {
    const SetupType& type = g_config.types[k];
    if (!type.file_list.data || ReadU32(type.file_list.data) == 0) return false;
    if (!(type.file_list.data[kFileListHeaderSize + kEntryFlags] & kEntryIsUninstaller)) return false;
    const char* name = TypeText(type.record.data, kTypeUninstallKey);
    if (!name || !name[0] || !UninstallKeyPath(value, capacity, name)) return false;
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, value, &key) != ERROR_SUCCESS) return false;
    std::memset(value, 0, capacity);
    DWORD size = capacity - 1;  // room for a terminator the stored text may lack
    LONG result = RegQueryValueExA(key, "UninstallString", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

}  // namespace

int RunProgram(const char* program, const char* arguments, HANDLE* process) {
    char command[2 * 260] = "\"";
    *process = nullptr;
    if (!AppendToPath(command, program, sizeof command) || !AppendToPath(command, "\" ", sizeof command) ||
        !AppendToPath(command, arguments, sizeof command))
        return 0;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                        &info))
        return 0;
    CloseHandle(info.hThread);
    *process = info.hProcess;
    return 1;
}

int IsRunning(HANDLE process) {
    DWORD code;
    return GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
}

void RemoveOtherInstallations() {
    char uninstaller[360];
    for (int k = 0; k < g_config.type_count; ++k) {
        if (k == g_config.current_type || !OtherUninstaller(k, uninstaller, sizeof uninstaller)) continue;
        HANDLE file = OpenForReading(uninstaller);  // a command line with quotes or arguments is no file
        if (file == INVALID_HANDLE_VALUE) continue;
        CloseFile(file);
        HANDLE process;
        if (!RunProgram(uninstaller, "/X", &process)) continue;
        while (IsRunning(process)) {
            LookAtMessages();
            WaitForSingleObject(process, kPollMs);
        }
        CloseHandle(process);
        // The uninstaller's file may stay locked a moment after its process ends.
        DWORD start = GetTickCount();
        do {
            LookAtMessages();
            if (DeleteFileA(uninstaller)) break;
            Sleep(kPollMs);
        } while (GetTickCount() - start < kDeleteRetryMs);
    }
}
