// What the archive and the source file tell about one file list entry: the
// archive plan fills it in, the file list entry's record body carries it.
#pragma once
#include <cstdint>

struct ArchivedFile {
    uint32_t archive_offset = 0;
    uint32_t stored_size = 0;
    uint32_t unpacked_size = 0;
    uint32_t checksum = 0;
    uint32_t version_ms = 0, version_ls = 0, product_ms = 0, product_ls = 0;
    uint16_t language = 0;
    uint64_t creation = 0, last_access = 0, last_write = 0;  // FILETIME values
    // A delta entry: its data is a delta against the stream of this base,
    // the file at base_ordinal in setup type base_type's file list.
    bool delta = false;
    uint16_t base_type = 0;
    uint32_t base_ordinal = 0;
};
