#include "package/solid_blocks.h"

#include "package/file_list.h"
#include "package/package_format.h"

SolidBlock SolidBlockAt(const uint8_t* body, uint32_t index) {
    SolidBlock b;
    const uint8_t* p = body + 4;
    for (uint32_t i = 0; i < index; i++, p += kSolidBlockSize) {
        b.archive_offset += ReadU32(p);
        b.unpacked_before += ReadU32(p + 4);
    }
    b.packed = ReadU32(p);
    b.unpacked = ReadU32(p + 4);
    LzmaParseProperties(p[12], &b.properties);
    b.properties.dictionary = ReadU32(p + 8);
    return b;
}

const char* CheckSolidTable(const uint8_t* body, size_t size, bool linked, uint32_t* count, uint64_t* blocks_end) {
    if (size < 4) return "the block table is cut short";
    uint32_t n = ReadU32(body);
    if (n == 0 || (size - 4) / kSolidBlockSize < n || size != 4 + uint64_t(n) * kSolidBlockSize)
        return "the block table's size does not match its count";
    uint64_t end = 0;
    for (uint32_t i = 0; i < n; i++) {
        const uint8_t* p = body + 4 + i * kSolidBlockSize;
        LzmaProperties properties;
        uint32_t dictionary = ReadU32(p + 8);
        if (!LzmaParseProperties(p[12], &properties)) return "a block has LZMA properties the setup program does not decode";
        if (dictionary < kLzmaMinDictionary || dictionary > kMaxSolidDictionary)
            return "a block's dictionary is outside 4 KiB to 64 MiB";
        if (linked && dictionary != ReadU32(body + 4 + 8)) return "linked blocks differ in their dictionary size";
        if (ReadU32(p) < 5) return "a block is shorter than any LZMA stream";
        end += ReadU32(p);
    }
    *count = n;
    *blocks_end = end;
    return "";
}

bool SolidEntryFits(const uint8_t* body, uint32_t count, uint32_t block, uint32_t start, uint32_t size) {
    if (block >= count) return false;
    uint32_t unpacked = ReadU32(body + 4 + block * kSolidBlockSize + 4);
    return start <= unpacked && size <= unpacked - start;
}

bool SolidListFits(const uint8_t* body, uint32_t count, const uint8_t* file_list) {
    uint32_t n = ReadU32(file_list);
    const uint8_t* e = file_list + kFileListHeaderSize;
    for (uint32_t i = 0; i < n; ++i, e = NextEntry(e)) {
        if (!PlacementIsExtracted(e[kEntryPlacement])) continue;
        if ((e[kEntryFlags] & kEntryIsDelta) ||
            !SolidEntryFits(body, count, ReadU32(e + kEntryArchiveOffset), ReadU32(e + kEntryStoredSize),
                            ReadU32(e + kEntryUnpackedSize)))
            return false;
    }
    return true;
}

uint64_t SolidChainSpan(const uint8_t* body, uint32_t index, bool linked) {
    if (!linked) return ReadU32(body + 4 + index * kSolidBlockSize + 4);
    SolidBlock last = SolidBlockAt(body, ReadU32(body) - 1);
    return last.unpacked_before + last.unpacked;
}
