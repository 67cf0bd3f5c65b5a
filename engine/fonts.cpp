#include "engine/fonts.h"

#include <windows.h>

#include <cstring>

#include "engine/font_name.h"
#include "engine/path_text.h"
#include "package/file_ops.h"
#include "startup/process_state.h"

namespace {

constexpr char kRegisteredSuffix[] = " (TrueType)";
// How long a window may take over the font change before it is passed by.
constexpr UINT kBroadcastTimeout = 5000;

bool ReadFontFile(void* context, uint32_t offset, uint8_t* buffer, uint32_t size) {
    HANDLE file = *static_cast<HANDLE*>(context);
    if (size == 0) return true;
    return offset <= 0x7FFFFFFFu && Seek(file, int32_t(offset), FILE_BEGIN) == offset &&
           ReadExactly(file, buffer, size) == 0;
}

using ValueName = char[kFontNameSize + sizeof kRegisteredSuffix];

// The registry value of a font: its full name and " (TrueType)".
void MakeValueName(ValueName& value_name, const char* full_name) {
    lstrcpyA(value_name, full_name);
    lstrcatA(value_name, kRegisteredSuffix);
}

const char* FileNameOf(const char* path) {
    const char* slash = FindLastBackslash(path);
    return slash ? slash + 1 : path;
}

void ReadFullName(const char* path, char (&full_name)[kFontNameSize]) {
    full_name[0] = 0;
    HANDLE file = OpenForReading(path);
    if (file == INVALID_HANDLE_VALUE) return;
    ReadFontFullName(ReadFontFile, &file, full_name);
    CloseFile(file);
}

void RegisterFont(const char* full_name, const char* path) {
    ValueName value_name;
    MakeValueName(value_name, full_name);
    const char* file_name = FileNameOf(path);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, FontsKey(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    // REG_SZ data carries its terminating zero, so that readers find the text's end.
    RegSetValueExA(key, value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(file_name), lstrlenA(file_name) + 1);
    RegCloseKey(key);
}

void AnnounceFontChange() {
    SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, kBroadcastTimeout, nullptr);
}

}  // namespace

// Windows NT loads fonts from its own key; the older platform from the
// Windows one.
const char* FontsKey() {
    return g_state.is_nt ? "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"
                         : "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
}

void InstallFont(const char* path) {
    char full_name[kFontNameSize];
    ReadFullName(path, full_name);
    // A window that does not answer must not hold the installation up.
    if (AddFontResourceA(path)) AnnounceFontChange();
    if (full_name[0]) RegisterFont(full_name, path);
}

bool UninstallFont(const char* path) {
    char full_name[kFontNameSize];
    ReadFullName(path, full_name);
    if (RemoveFontResourceA(path)) AnnounceFontChange();
    if (!full_name[0]) return true;
    ValueName value_name;
    MakeValueName(value_name, full_name);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, FontsKey(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return true;
    char data[kPathSize];
    DWORD type = 0, size = sizeof data - 1;
    bool removed = true;
    // Only this file's registration goes; another file of the same name keeps its own.
    if (RegQueryValueExA(key, value_name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        data[size] = 0;
        if (lstrcmpiA(data, FileNameOf(path)) == 0 || lstrcmpiA(data, path) == 0)
            removed = RegDeleteValueA(key, value_name) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return removed;
}
