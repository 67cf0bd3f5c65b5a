// Prints what Windows reads from a file's version resource, one line each:
// "fixed FILE-VERSION PRODUCT-VERSION", "translation LLLLCCCC", then
// "NAME=VALUE" for each text asked for from that translation. Exits with 1
// when the file has no version resource or a text is missing.
//   version_query FILE ProductName CompanyName ...
#include <windows.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    DWORD handle = 0, size = GetFileVersionInfoSizeA(argv[1], &handle);
    std::vector<char> info(size ? size : 1);
    if (!size || !GetFileVersionInfoA(argv[1], 0, size, info.data())) {
        std::printf("no version resource (error %lu)\n", GetLastError());
        return 1;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed)
        return 1;
    std::printf("fixed %u.%u.%u.%u %u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS),
                LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
                HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
    WORD* translation = nullptr;
    if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
        length < 4)
        return 1;
    std::printf("translation %04x%04x\n", translation[0], translation[1]);
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        char key[128];
        std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], argv[i]);
        char* value = nullptr;
        if (VerQueryValueA(info.data(), key, reinterpret_cast<void**>(&value), &length) && value)
            std::printf("%s=%s\n", argv[i], value);
        else
            std::printf("%s missing\n", argv[i]), status = 1;
    }
    return status;
}
