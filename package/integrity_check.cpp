#include "package/integrity_check.h"

#include "engine/memory.h"
#include "package/file_ops.h"
#include "package/package_format.h"

namespace {

// Large reads: the check reads the whole setup file once.
constexpr uint32_t kCheckBufferSize = 256 * 1024;

}  // namespace

int CrcOfFileRange(HANDLE file, uint32_t from, uint32_t to, const SigningLayout& layout, uint32_t* crc) {
    void* block;
    if (!AllocRetry(&block, kCheckBufferSize)) return 5;
    uint8_t* buffer = static_cast<uint8_t*>(block);
    int result = Seek(file, int32_t(from), FILE_BEGIN) == from ? 0 : 1;
    for (uint32_t at = from, n; !result && at < to; at += n) {
        n = to - at < kCheckBufferSize ? to - at : kCheckBufferSize;
        if (ReadExactly(file, buffer, n)) result = 1;
        MaskSigningFields(buffer, n, at, layout);
        *crc = Crc32Update(*crc, buffer, n);
    }
    FreeAndClear(&block);
    return result;
}

bool VolumeFileIsIntact(HANDLE file, uint32_t length, uint32_t set_mark) {
    uint32_t data_end = 4 + length;
    uint8_t trailer[kVolumeTrailerSize];
    uint32_t crc = 0;
    if (length > FileSize(file) || FileSize(file) - length != 4 + kVolumeTrailerSize ||
        CrcOfFileRange(file, 0, data_end, SigningLayout(), &crc) || ReadExactly(file, trailer, kVolumeTrailerSize))
        return false;
    Seek(file, 4, FILE_BEGIN);
    return ReadU32(trailer) == crc && ReadU32(trailer + 4) == set_mark;
}
