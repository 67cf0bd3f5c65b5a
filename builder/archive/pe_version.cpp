#include "builder/archive/pe_version.h"

#include <cstring>
#include <string>

namespace {

// Bounds-checked little-endian reads from the file.
struct Reader {
    const std::vector<uint8_t>& bytes;
    bool Has(uint64_t at, uint64_t n) const { return at + n <= bytes.size(); }
    uint16_t U16(uint64_t at) const { return Has(at, 2) ? uint16_t(bytes[at] | bytes[at + 1] << 8) : 0; }
    uint32_t U32(uint64_t at) const { return Has(at, 4) ? uint32_t(U16(at)) | uint32_t(U16(at + 2)) << 16 : 0; }
};

constexpr uint16_t kResourceVersion = 16;
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

// File offset of a relative virtual address, through the section table.
std::optional<uint64_t> RvaToOffset(const Reader& r, uint64_t sections, uint16_t count, uint32_t rva) {
    for (uint16_t i = 0; i < count; ++i) {
        uint64_t s = sections + 40ull * i;
        if (!r.Has(s, 40)) return std::nullopt;
        uint32_t va = r.U32(s + 12), raw_size = r.U32(s + 16), raw = r.U32(s + 20), vsize = r.U32(s + 8);
        uint32_t span = vsize > raw_size ? vsize : raw_size;
        if (rva >= va && rva < uint64_t(va) + span) return uint64_t(raw) + (rva - va);
    }
    return std::nullopt;
}

// The first entry of a resource directory whose id matches (any entry when want is negative).
std::optional<uint32_t> DirectoryEntry(const Reader& r, uint64_t dir, int want) {
    if (!r.Has(dir, 16)) return std::nullopt;
    uint32_t entries = uint32_t(r.U16(dir + 12)) + r.U16(dir + 14);
    for (uint32_t i = 0; i < entries; ++i) {
        uint64_t e = dir + 16 + 8ull * i;
        uint32_t name = r.U32(e);
        if (want >= 0 && ((name & 0x80000000u) || name != uint32_t(want))) continue;
        return r.U32(e + 4);
    }
    return std::nullopt;
}

// Walks a VS_VERSIONINFO block tree: {u16 length, u16 value length, u16 type, key, pad, value, pad, children}.
void WalkBlock(const Reader& r, uint64_t at, uint64_t end, PeVersion& v, int depth) {
    while (at + 6 <= end && depth < 4) {
        uint16_t length = r.U16(at);
        uint16_t value_length = r.U16(at + 2);
        uint16_t type = r.U16(at + 4);
        if (length < 6 || at + length > end) return;
        uint64_t block_end = at + length;
        std::u16string key;
        uint64_t p = at + 6;
        while (p + 2 <= block_end && r.U16(p)) key.push_back(char16_t(r.U16(p))), p += 2;
        p = (p + 2 + 3) & ~uint64_t(3);
        uint64_t value_bytes = type == 1 ? uint64_t(value_length) * 2 : value_length;
        if (key == u"VS_VERSION_INFO" && r.Has(p, 52) && r.U32(p) == kFixedFileInfoSignature) {
            v.file_version_ms = r.U32(p + 8);
            v.file_version_ls = r.U32(p + 12);
            v.product_version_ms = r.U32(p + 16);
            v.product_version_ls = r.U32(p + 20);
        }
        if (key == u"Translation" && value_length >= 4 && p + 4 <= block_end && !v.language) v.language = r.U16(p);
        uint64_t children = (p + value_bytes + 3) & ~uint64_t(3);
        if (children < block_end) WalkBlock(r, children, block_end, v, depth + 1);
        at = (block_end + 3) & ~uint64_t(3);
    }
}

}  // namespace

std::optional<PeVersion> ReadPeVersion(const std::vector<uint8_t>& file) {
    Reader r{file};
    if (r.U16(0) != 0x5A4D) return std::nullopt;  // "MZ"
    uint64_t pe = r.U32(0x3C);
    if (r.U32(pe) != 0x00004550) return std::nullopt;  // "PE\0\0"
    uint16_t section_count = r.U16(pe + 6);
    uint16_t optional_size = r.U16(pe + 20);
    uint64_t optional = pe + 24;
    uint16_t magic = r.U16(optional);
    uint64_t directories = optional + (magic == 0x20B ? 112 : 96);
    uint32_t resource_rva = r.U32(directories + 2 * 8);
    if (!resource_rva || 2 * 8 + 8 > optional_size - (directories - optional)) return std::nullopt;
    uint64_t sections = optional + optional_size;
    auto root = RvaToOffset(r, sections, section_count, resource_rva);
    if (!root) return std::nullopt;

    // Type 16, then its first name, then the language the system's own
    // lookup would find first: neutral, then US English, then any.
    std::optional<uint32_t> entry = DirectoryEntry(r, *root, kResourceVersion);
    if (entry && (*entry & 0x80000000u)) entry = DirectoryEntry(r, *root + (*entry & 0x7FFFFFFFu), -1);
    if (entry && (*entry & 0x80000000u)) {
        uint64_t languages = *root + (*entry & 0x7FFFFFFFu);
        entry = std::nullopt;
        for (int language : {0x0000, 0x0400, 0x0409, -1})
            if (!entry) entry = DirectoryEntry(r, languages, language);
    }
    if (!entry || (*entry & 0x80000000u)) return std::nullopt;
    uint64_t data_entry = *root + (*entry & 0x7FFFFFFFu);
    auto data = RvaToOffset(r, sections, section_count, r.U32(data_entry));
    uint32_t size = r.U32(data_entry + 4);
    if (!data || !r.Has(*data, size)) return std::nullopt;

    PeVersion v;
    WalkBlock(r, *data, *data + size, v, 0);
    if (!v.file_version_ms && !v.file_version_ls && !v.language) return std::nullopt;
    return v;
}
