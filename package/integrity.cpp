#include "package/integrity.h"

#include "package/package_format.h"

namespace {

// Slice-by-8: eight bytes a step, through eight tables made at first use
// (8 KiB of zeroed data, nothing in the file). Four times the speed of a
// byte a step, which keeps the check a small part of an installation.
uint32_t g_crc_tables[8][256];

void MakeCrcTables() {
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        g_crc_tables[0][n] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (int n = 0; n < 256; ++n)
            g_crc_tables[k][n] = (g_crc_tables[k - 1][n] >> 8) ^ g_crc_tables[0][g_crc_tables[k - 1][n] & 0xFF];
}

}  // namespace

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t size) {
    const auto& t = g_crc_tables;
    if (!t[0][1]) MakeCrcTables();
    crc = ~crc;
    for (; size >= 8; size -= 8, data += 8) {
        uint32_t a = crc ^ ReadU32(data), b = ReadU32(data + 4);
        crc = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^ t[3][b & 0xFF] ^
              t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
    }
    while (size--) crc = t[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

SigningLayout ReadSigningLayout(const uint8_t* head, size_t head_size) {
    SigningLayout layout;
    if (head_size < 0x40 || head[0] != 'M' || head[1] != 'Z') return layout;
    uint32_t pe = ReadU32(head + 0x3C);
    if (pe > head_size || head_size - pe < 24 + 2 || ReadU32(head + pe) != 0x4550) return layout;  // "PE\0\0"
    uint32_t optional = pe + 24, optional_size = ReadU16(head + pe + 20);
    uint16_t magic = ReadU16(head + optional);
    uint32_t directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
    if (!directories) return layout;
    uint32_t entry = directories + 4 * 8;  // the security directory
    if (optional_size < entry + 8 || head_size - optional < entry + 8 ||
        ReadU32(head + optional + directories - 4) < 5)  // NumberOfRvaAndSizes
        return layout;
    layout.checksum_at = optional + 64;
    layout.security_at = optional + entry;
    layout.table_offset = ReadU32(head + layout.security_at);
    layout.table_size = ReadU32(head + layout.security_at + 4);
    return layout;
}

void MaskSigningFields(uint8_t* chunk, size_t size, uint64_t at, const SigningLayout& layout) {
    const uint32_t fields[2][2] = {{layout.checksum_at, 4}, {layout.security_at, 8}};
    for (const auto& f : fields)
        for (uint64_t p = f[0]; f[0] && p < uint64_t(f[0]) + f[1]; ++p)
            if (p >= at && p - at < size) chunk[p - at] = 0;
}

uint32_t HeadCrc(const uint8_t* file, size_t size) {
    SigningLayout layout = ReadSigningLayout(file, size < kSigningHeadSize ? size : kSigningHeadSize);
    uint8_t chunk[kSigningHeadSize];
    uint32_t crc = 0;
    for (size_t at = 0, n; at < size; at += n) {
        n = size - at < sizeof chunk ? size - at : sizeof chunk;
        for (size_t i = 0; i < n; ++i) chunk[i] = file[at + i];
        MaskSigningFields(chunk, n, at, layout);
        crc = Crc32Update(crc, chunk, n);
    }
    return crc;
}

uint64_t PackageEnd(const SigningLayout& layout, uint64_t file_size, bool* is_signed) {
    *is_signed = layout.table_offset && layout.table_size && layout.table_offset % 8 == 0 &&
                 uint64_t(layout.table_offset) + layout.table_size == file_size;
    return *is_signed ? layout.table_offset : file_size;
}

uint32_t PeChecksum(const uint8_t* file, size_t size, uint32_t checksum_at) {
    uint64_t sum = 0;
    for (size_t i = 0; i < size; i += 2) {
        if (i >= checksum_at && i < uint64_t(checksum_at) + 4) continue;
        sum += file[i] | (i + 1 < size ? file[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return uint32_t(sum + size);
}
