#include "decoder/archive_read.h"

namespace {

bool ReadSingleFile(HANDLE source, uint8_t* buffer, DWORD count, DWORD* delivered) {
    *delivered = 0;
    if (!ReadFile(source, buffer, count, delivered, nullptr)) *delivered = 0;
    return true;
}

HANDLE NoArchiveHandle() { return INVALID_HANDLE_VALUE; }

}  // namespace

ArchiveReadHook g_archive_read = {ReadSingleFile, NoArchiveHandle};
