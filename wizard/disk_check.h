// The destination page's disk check and the drive queries behind its figures.
#pragma once
#include <cstdint>

// Results of the disk check; the numbers are the group-6 texts that explain them.
enum : int { kDiskCheckPassed = 0, kDiskCheckReadOnly = 9, kDiskCheckNoUninstall = 10, kDiskCheckNoRoom = 11 };

// Free kilobytes on the drive of path, or kUnknownFreeSpace.
uint64_t FreeKilobytes(const char* path);

// Cluster size of the drive of path in kilobytes, rounded up; 32 when unknown.
uint32_t ClusterKilobytes(const char* path);

// Bytes the current file list needs: every entry's size rounded up to 32 KiB.
uint64_t RequiredBytes();

// Checks the current file list against the destination folder: a product
// with the uninstaller must go where an uninstall can take it away again
// (not a drive's top folder, nor one holding the Windows folder); existing
// targets must be writable (read-only ones are made writable for the test
// and put back), the drive must have room. Sets g_read_only_files_found.
// Returns a result above; with kDiskCheckReadOnly the message argument
// names the file.
int RunDiskCheck();
extern bool g_read_only_files_found;

// The destination folder as a full path (left as it is when it has none).
void MakeDestinationFull();
// True when the destination folder exists, made first with its parents
// when `create` says so; it becomes the current folder. The folder is
// left without a trailing backslash.
bool DestinationFolderReady(bool create);

// Tests stand in for the drive's free-space answer; null restores the real one.
using FreeSpaceQuery = uint64_t (*)(const char* path);
void SetFreeSpaceQuery(FreeSpaceQuery query);
