#include "engine/shell_link.h"

#include <shlobj.h>

#include <cstring>

#include "engine/path_text.h"
#include "package/package_format.h"

namespace {

// The three identifiers, written out: the system's uuid library keeps every
// identifier it knows in one section, and linking it for these would add
// some 40 KB to the setup program.
const CLSID kShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kShellLinkA = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

}  // namespace

HRESULT CreateShellLink(const char* target, const char* link_path, const char* arguments, int icon_index) {
    IShellLinkA* link = nullptr;
    HRESULT result = CoCreateInstance(kShellLink, nullptr, CLSCTX_INPROC_SERVER, kShellLinkA,
                                      reinterpret_cast<void**>(&link));
    if (FAILED(result)) return result;
    link->SetPath(target);
    // The working directory is the target's folder; a drive root keeps its
    // backslash, since "C:" alone names the drive's current directory.
    char folder[kPathSize];
    if (CopyText(folder, target, sizeof folder)) {
        char* slash = FindLastBackslash(folder);
        if (slash) {
            slash[1] = 0;
            StripBackslash(folder);
            link->SetWorkingDirectory(folder);
        }
    }
    if (arguments && arguments[0]) link->SetArguments(arguments);
    if (icon_index) link->SetIconLocation(target, icon_index);

    IPersistFile* file = nullptr;
    result = link->QueryInterface(kPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(result)) {
        // A path that does not fit is not saved under a name cut short.
        WCHAR wide[kPathSize];
        result = MultiByteToWideChar(CP_ACP, 0, link_path, -1, wide, kPathSize) ? file->Save(wide, TRUE)
                                                                                 : E_INVALIDARG;
        file->Release();
    }
    link->Release();
    return result;
}
