#include "package/file_ops.h"

namespace {

HANDLE Open(const char* path, DWORD access, DWORD share, DWORD disposition) {
    HANDLE h = CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) GetLastError();
    return h;
}

}  // namespace

HANDLE OpenForReading(const char* path) { return Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING); }
HANDLE OpenForWriting(const char* path) { return Open(path, GENERIC_WRITE, 0, OPEN_EXISTING); }
HANDLE OpenForReadingAndWriting(const char* path) {
    return Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
}
HANDLE CreateNewFile(const char* path) { return Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS); }

int ReadExactly(HANDLE file, void* buffer, uint32_t n) {
    DWORD got = 0;
    return ReadFile(file, buffer, n, &got, nullptr) && got == n ? 0 : 1;
}

uint32_t ReadSome(HANDLE file, void* buffer, uint32_t n) {
    DWORD got = 0;
    return ReadFile(file, buffer, n, &got, nullptr) ? got : 0;
}

int WriteAll(HANDLE file, const void* buffer, uint32_t n) {
    DWORD written = 0;
    if (!WriteFile(file, buffer, n, &written, nullptr)) return 2;
    return written == n ? 0 : 3;
}

uint32_t Tell(HANDLE file) { return SetFilePointer(file, 0, nullptr, FILE_CURRENT); }
uint32_t Seek(HANDLE file, int32_t distance, DWORD from) { return SetFilePointer(file, distance, nullptr, from); }

uint32_t FileSize(HANDLE file) {
    uint32_t here = Tell(file);
    uint32_t size = Seek(file, 0, FILE_END);
    Seek(file, int32_t(here), FILE_BEGIN);
    return size;
}

void CloseFile(HANDLE file) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}
