#include "engine/open_document.h"

#include <shellapi.h>

#include <cstring>

#include "engine/path_text.h"
#include "package/file_ops.h"
#include "package/package_format.h"
#include "startup/process_state.h"

namespace {

ShellOpener g_open = ShellExecuteA;

constexpr size_t kCommandSize = 2 * kPathSize;

}  // namespace

void SetShellOpener(ShellOpener opener) { g_open = opener ? opener : ShellExecuteA; }

LONG ReadDefaultValue(HKEY root, const char* key_path, char* buffer) {
    HKEY key;
    LONG result = RegOpenKeyExA(root, key_path, 0, KEY_QUERY_VALUE, &key);
    if (result != ERROR_SUCCESS) return result;
    char value[kPathSize];
    LONG size = sizeof value;
    if (RegQueryValueA(key, nullptr, value, &size) == ERROR_SUCCESS) {
        value[kPathSize - 1] = 0;
        std::memcpy(buffer, value, std::strlen(value) + 1);
    }
    RegCloseKey(key);
    return ERROR_SUCCESS;
}

UINT_PTR OpenFileWithAssociation(const char* path, const char* extension) {
    UINT_PTR shell = reinterpret_cast<UINT_PTR>(g_open(nullptr, "open", path, nullptr, nullptr, SW_SHOW));
    if (shell > 32) return shell;

    char command[kCommandSize] = "";
    LONG error = ReadDefaultValue(HKEY_CLASSES_ROOT, extension, command);  // the class name
    if (error) return UINT_PTR(error);
    if (!AppendToPath(command, "\\shell\\open\\command", sizeof command)) return ERROR_INSUFFICIENT_BUFFER;
    error = ReadDefaultValue(HKEY_CLASSES_ROOT, command, command);
    if (error) return UINT_PTR(error);

    // The placeholder and everything after it give way to the path.
    if (char* quoted = std::strstr(command, "\"%1\"")) *quoted = 0;
    else if (char* bare = std::strstr(command, "%1")) *bare = 0;
    // Quoted, so that a path with blanks stays one argument.
    if (!AppendToPath(command, " \"", sizeof command) || !AppendToPath(command, path, sizeof command) ||
        !AppendToPath(command, "\"", sizeof command))
        return ERROR_INSUFFICIENT_BUFFER;
    return WinExec(command, SW_SHOW);
}

void OpenInstalledDocument() {
    const char* path = g_state.document_to_open;
    if (!path[0]) return;
    HANDLE file = OpenForReading(path);
    if (file == INVALID_HANDLE_VALUE) return;
    CloseFile(file);
    // The extension belongs to the file name, not to a folder with a dot.
    const char* dot = std::strrchr(path, '.');
    const char* slash = FindLastBackslash(path);
    const char* extension = dot && (!slash || dot > slash) ? dot : ".";
    OpenFileWithAssociation(path, extension);
}
