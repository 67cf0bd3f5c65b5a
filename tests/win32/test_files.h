// Folders and file contents for the Windows-side tests.
#pragma once
#include <windows.h>

#include "package/package_format.h"

#include <cstdint>
#include <string>
#include <vector>

inline std::string WindowsFolder() {
    char folder[MAX_PATH];
    GetWindowsDirectoryA(folder, MAX_PATH);
    return folder;
}

inline std::string SystemFolder() {
    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, MAX_PATH);
    return folder;
}

// The file's bytes; "<none>" as the only byte string when it cannot be read.
inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return {'<', 'n', 'o', 'n', 'e', '>'};
    std::vector<uint8_t> out(GetFileSize(h, nullptr));
    DWORD got;
    if (!out.empty()) ReadFile(h, out.data(), DWORD(out.size()), &got, nullptr);
    CloseHandle(h);
    return out;
}

// Writes the file whole; false when it cannot be created.
inline bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& content) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    if (!content.empty()) WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr);
    CloseHandle(h);
    return written == content.size();
}

// A file of the build machine as the platform reaches it: Z: is its root.
inline std::string WindowsPathOf(const std::string& unix_path) {
    std::string path = "Z:" + unix_path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// The stub length a setup file carries in its own patch block; 0 without one.
inline uint32_t StubLengthOfFile(const std::string& path) {
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    size_t block = FindPatchBlock(bytes.data(), bytes.size());
    return block < bytes.size() ? PatchedStubLength(&bytes[block]) : 0;
}
