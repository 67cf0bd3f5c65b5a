// The read that bounded decodes go through. A file archive may continue in
// volume files, so one read can start in one file and end in the next; the
// archive reader installs itself here. Until it does, a bounded read is a
// plain read of the source handle.
#pragma once
#include <windows.h>

#include <cstdint>

struct ArchiveReadHook {
    // Reads up to count bytes into buffer; *delivered says how many came.
    // False when the next volume could not be had: the decode then fails.
    bool (*read)(HANDLE source, uint8_t* buffer, DWORD count, DWORD* delivered);
    // The handle of the archive's current volume, which a read may change.
    HANDLE (*current_handle)();
};

extern ArchiveReadHook g_archive_read;
