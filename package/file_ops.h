// The thin layer over the Win32 file calls that all file access goes
// through. Failures are result codes; the system's last error is dropped.
#pragma once
#include <windows.h>

#include <cstdint>

HANDLE OpenForReading(const char* path);
HANDLE OpenForWriting(const char* path);
HANDLE OpenForReadingAndWriting(const char* path);
HANDLE CreateNewFile(const char* path);

// 0 when all n bytes came, 1 when the call failed or fewer came.
int ReadExactly(HANDLE file, void* buffer, uint32_t n);
// The number of bytes read: 0 at the end of the file or on failure.
uint32_t ReadSome(HANDLE file, void* buffer, uint32_t n);
// 0 when all were written, 3 when fewer were, 2 when the call failed.
int WriteAll(HANDLE file, const void* buffer, uint32_t n);

uint32_t Tell(HANDLE file);
uint32_t Seek(HANDLE file, int32_t distance, DWORD from);  // FILE_BEGIN, FILE_CURRENT, FILE_END
uint32_t FileSize(HANDLE file);                            // the position is kept
void CloseFile(HANDLE file);
