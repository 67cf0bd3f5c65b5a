#include "builder/program/stub_packer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "builder/program/pe_resources.h"
#include "builder/archive/stream_encoder.h"
#include "package/package_format.h"
#include "startup/packed_image.h"

namespace {

constexpr uint32_t kCode = 0x20, kInitializedData = 0x40, kUninitializedData = 0x80;
constexpr uint32_t kExecute = 0x20000000, kRead = 0x40000000, kWrite = 0x80000000;
constexpr int kImportDirectory = 1, kResourceDirectory = 2, kRelocationDirectory = 5, kImportAddressDirectory = 12;
constexpr uint32_t kDosHeaderSize = 0x40, kOptionalHeaderSize = 224, kSectionHeaderSize = 40;
// Fields of the optional header.
constexpr size_t kSizeOfCode = 4, kSizeOfInitializedData = 8, kSizeOfUninitializedData = 12, kEntryPoint = 16,
                 kImageBase = 28,
                 kSectionAlignment = 32, kFileAlignment = 36, kSizeOfImage = 56, kSizeOfHeaders = 60,
                 kChecksum = 64, kDirectories = 96;

[[noreturn]] void Fail(const std::string& why) { throw BuildError("cannot pack the setup program: " + why); }

uint32_t AlignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

struct Section {
    std::string name;
    uint32_t rva, size;  // virtual
    uint32_t raw_size, raw_at, characteristics;
    uint32_t Initialized() const { return std::min(size, raw_size); }
    bool Holds(uint32_t at) const { return at >= rva && at - rva < size; }
};

struct PeFile {
    uint16_t machine, characteristics;
    uint32_t timestamp;
    Bytes optional;  // the optional header, data directories included
    std::vector<Section> sections;

    uint32_t Field(size_t at) const { return ReadU32(&optional[at]); }
    uint32_t DirectoryRva(int d) const { return Field(kDirectories + 8 * d); }
    uint32_t DirectorySize(int d) const { return Field(kDirectories + 8 * d + 4); }
};

PeFile ReadPe(const Bytes& file) {
    auto need = [&](uint64_t at, uint64_t n) {
        if (at + n > file.size()) Fail("the file ends inside its headers");
    };
    need(0, kDosHeaderSize);
    if (file[0] != 'M' || file[1] != 'Z') Fail("not a Windows program");
    uint32_t pe = ReadU32(&file[0x3C]);
    need(pe, 24 + kOptionalHeaderSize);
    if (std::memcmp(&file[pe], "PE\0\0", 4) != 0 || ReadU16(&file[pe + 4]) != 0x14C ||
        ReadU16(&file[pe + 20]) != kOptionalHeaderSize || ReadU16(&file[pe + 24]) != 0x10B ||
        ReadU32(&file[pe + 24 + 92]) != 16)
        Fail("not a 32-bit x86 program with the usual optional header");
    PeFile f;
    f.machine = ReadU16(&file[pe + 4]);
    f.timestamp = ReadU32(&file[pe + 8]);
    f.characteristics = ReadU16(&file[pe + 22]);
    f.optional.assign(file.begin() + pe + 24, file.begin() + pe + 24 + kOptionalHeaderSize);
    uint32_t count = ReadU16(&file[pe + 6]);
    uint64_t table = pe + 24 + kOptionalHeaderSize;
    need(table, uint64_t(count) * kSectionHeaderSize);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* h = &file[table + i * kSectionHeaderSize];
        Section s{std::string(reinterpret_cast<const char*>(h), strnlen(reinterpret_cast<const char*>(h), 8)),
                  ReadU32(h + 12), ReadU32(h + 8), ReadU32(h + 16), ReadU32(h + 20), ReadU32(h + 36)};
        if (s.raw_size) need(s.raw_at, s.raw_size);
        if (uint64_t(s.rva) + s.size > f.Field(kSizeOfImage) || (i && s.rva < f.sections.back().rva))
            Fail("section " + s.name + " lies outside the image or out of order");
        f.sections.push_back(s);
    }
    return f;
}

// The image as the loader lays it out in memory, before relocation.
Bytes MapImage(const Bytes& file, const PeFile& pe) {
    Bytes image(pe.Field(kSizeOfImage));
    for (const Section& s : pe.sections)
        std::copy_n(file.begin() + s.raw_at, s.Initialized(), image.begin() + s.rva);
    return image;
}

// The addresses of the 32-bit words that a base relocation table lists.
std::vector<uint32_t> RelocationSites(const Bytes& image, uint32_t rva, uint32_t size) {
    if (uint64_t(rva) + size > image.size()) Fail("the relocations lie outside the image");
    std::vector<uint32_t> sites;
    for (uint32_t at = rva, end = rva + size; end - at >= 8;) {
        uint32_t page = ReadU32(&image[at]), block = ReadU32(&image[at + 4]);
        if (block < 8 || block % 2 || block > end - at) Fail("a relocation block is malformed");
        for (uint32_t e = at + 8; e < at + block; e += 2) {
            uint16_t entry = ReadU16(&image[e]);
            if (entry >> 12 == 3)
                sites.push_back(page + (entry & 0xFFF));
            else if (entry >> 12)
                Fail("relocations of type " + std::to_string(entry >> 12));
        }
        at += block;
    }
    std::sort(sites.begin(), sites.end());
    return sites;
}

void Relocate(Bytes& image, const std::vector<uint32_t>& sites, uint32_t delta) {
    for (uint32_t site : sites) WriteU32(&image[site], ReadU32(&image[site]) + delta);
}

// A base relocation table: a block per page, each padded to four bytes.
Bytes RelocationTable(const std::vector<uint32_t>& sites) {
    Bytes table;
    for (size_t i = 0; i < sites.size();) {
        uint32_t page = sites[i] & ~0xFFFu;
        size_t header = table.size();
        table.resize(header + 8);
        for (; i < sites.size() && (sites[i] & ~0xFFFu) == page; ++i) {
            table.push_back(uint8_t(sites[i]));
            table.push_back(uint8_t(0x30 | (sites[i] >> 8 & 0xF)));
        }
        if (table.size() % 4) table.resize(table.size() + 2);  // an entry of type 0: nothing
        WriteU32(&table[header], page);
        WriteU32(&table[header + 4], uint32_t(table.size() - header));
    }
    return table;
}

// The gaps between successive sites, from `from` on, in base 128.
Bytes RelocationGaps(const std::vector<uint32_t>& sites, uint32_t from) {
    Bytes gaps;
    for (uint32_t site : sites) {
        uint32_t gap = site - from;
        for (; gap >= 0x80; gap >>= 7) gaps.push_back(uint8_t(gap | 0x80));
        gaps.push_back(uint8_t(gap));
        from = site;
    }
    return gaps;
}

// The range of the sections that `wanted` picks, which must follow each
// other without a gap.
void TakeRange(const PeFile& pe, size_t end, bool (*wanted)(const Section&), const char* what, uint32_t* rva,
               uint32_t* size) {
    *rva = *size = 0;
    for (size_t i = 0; i < end; ++i) {
        const Section& s = pe.sections[i];
        if (!wanted(s)) continue;
        if (*size && AlignUp(*rva + *size, pe.Field(kSectionAlignment)) != s.rva)
            Fail(std::string("the ") + what + " sections are not adjacent");
        if (!*size) *rva = s.rva;
        *size = s.rva + s.size - *rva;
    }
}

}  // namespace

Bytes LoadImage(const Bytes& file, uint32_t base) {
    PeFile pe = ReadPe(file);
    Bytes image = MapImage(file, pe);
    Relocate(image,
             RelocationSites(image, pe.DirectoryRva(kRelocationDirectory), pe.DirectorySize(kRelocationDirectory)),
             base - pe.Field(kImageBase));
    return image;
}

namespace {

size_t FindRecord(const Bytes& image, const Section& kiln) {
    auto begin = image.begin() + kiln.rva, end = begin + kiln.Initialized();
    auto at = std::search(begin, end, std::begin(kPackedImageMarker), std::end(kPackedImageMarker));
    if (at == end || end - at < long(sizeof(PackedImage))) Fail("the .kiln section holds no packing record");
    if (std::search(at + 1, end, std::begin(kPackedImageMarker), std::end(kPackedImageMarker)) != end)
        Fail("the .kiln section holds two packing records");
    return size_t(at - image.begin());
}

PackedImage ReadRecord(const Bytes& image, size_t at) {
    PackedImage record;
    std::memcpy(&record, &image[at], sizeof record);
    return record;
}

// Unpacks the packed program as its entry would after the loader moved it,
// and compares it byte for byte with the linked program moved as far: the
// unpacked bytes and the zeroes after them, the sections kept as linked,
// .kiln as linked but for its record. The resources, moved, must name the
// same resources with the same bytes.
void CheckUnpacks(const Bytes& packed, const Bytes& linked) {
    PeFile pe = ReadPe(packed), linked_pe = ReadPe(linked);
    uint32_t run_base = pe.Field(kImageBase) + 0x10000;
    Bytes image = LoadImage(packed, run_base), expected = LoadImage(linked, run_base);
    auto kiln = std::find_if(pe.sections.begin(), pe.sections.end(), [](const Section& s) { return s.name == ".kiln"; });
    size_t record_at = FindRecord(image, *kiln);
    PackedImage record = ReadRecord(image, record_at);
    if (!UnpackImage(image.data(), run_base, record)) Fail("the packed program does not unpack");
    std::copy_n(&image[record_at], sizeof record, &expected[record_at]);
    auto same = [&](uint32_t from, uint32_t end) {
        return std::equal(image.begin() + from, image.begin() + end, expected.begin() + from);
    };
    bool ok = same(record.image_rva, record.image_rva + record.image_size + record.relocations_size) &&
              same(kiln->rva, pe.DirectoryRva(kRelocationDirectory));
    for (size_t i = 1; i < pe.sections.size(); ++i)
        if (&pe.sections[i] != &*kiln && !pe.sections[i].Holds(pe.DirectoryRva(kResourceDirectory)))
            ok = ok && same(pe.sections[i].rva, pe.sections[i].rva + pe.sections[i].Initialized());
    if (linked_pe.DirectorySize(kResourceDirectory))
        ok = ok && ReadResources(image, pe.DirectoryRva(kResourceDirectory)) ==
                       ReadResources(expected, linked_pe.DirectoryRva(kResourceDirectory));
    if (!ok) Fail("the packed program unpacks to other bytes than the linked one");
}

}  // namespace

Bytes PackStub(const Bytes& linked, const StubPackOptions& options) {
    PeFile pe = ReadPe(linked);
    Bytes image = MapImage(linked, pe);
    const uint32_t linked_base = pe.Field(kImageBase);
    const uint32_t base = options.image_base ? options.image_base : linked_base;
    if (base % 0x10000) Fail("an image base must be a multiple of 64 KiB");

    for (int d = 0; d < 16; ++d)
        if (pe.DirectorySize(d) && d != kImportDirectory && d != kResourceDirectory && d != kRelocationDirectory &&
            d != kImportAddressDirectory)
            Fail("it has data directory " + std::to_string(d) + ", which the packer does not keep");
    std::vector<Section>& sections = pe.sections;
    auto kiln_at = std::find_if(sections.begin(), sections.end(), [](const Section& s) { return s.name == ".kiln"; });
    if (kiln_at == sections.end()) Fail("it has no .kiln section");
    const Section kiln = *kiln_at;
    size_t record_at = FindRecord(image, kiln);
    PackedImage record = ReadRecord(image, record_at);
    if (record.image_size) Fail("it is packed already");
    if (sections.size() < 3 || !sections.back().Holds(pe.DirectoryRva(kRelocationDirectory)) ||
        kiln_at != sections.end() - 2)
        Fail("its last sections are not .kiln and the relocations");
    if (!kiln.Holds(pe.Field(kEntryPoint))) Fail("its entry point is not the unpacking entry in .kiln");
    size_t first_kept = 0;
    while (first_kept < sections.size() && !sections[first_kept].Holds(pe.DirectoryRva(kImportDirectory)))
        ++first_kept;
    if (first_kept == 0 || first_kept >= sections.size() - 2) Fail("its import table is not in a section of its own");
    for (size_t i = first_kept; i + 2 < sections.size(); ++i)
        if (!sections[i].Holds(pe.DirectoryRva(kImportDirectory)) && !sections[i].Holds(pe.DirectoryRva(kResourceDirectory)))
            Fail("section " + sections[i].name + " follows the import table");
    for (int d : {kResourceDirectory, kImportAddressDirectory})
        if (pe.DirectorySize(d) && pe.DirectoryRva(d) < sections[first_kept].rva)
            Fail("its data directory " + std::to_string(d) + " lies before the import table");


    // The code and data sections: from the first to the import table.
    const uint32_t image_rva = sections[0].rva;
    uint32_t image_end = image_rva;
    for (size_t i = 0; i < first_kept; ++i)
        image_end = std::max(image_end, sections[i].rva + sections[i].Initialized());
    uint32_t code_rva, code_size, read_only_rva, read_only_size;
    TakeRange(pe, first_kept, [](const Section& s) { return (s.characteristics & kExecute) != 0; }, "code", &code_rva,
              &code_size);
    TakeRange(pe, first_kept, [](const Section& s) { return !(s.characteristics & (kExecute | kWrite)); },
              "read-only", &read_only_rva, &read_only_size);
    code_size = std::min(code_size, image_end - code_rva);

    const std::vector<uint32_t> sites =
        RelocationSites(image, pe.DirectoryRva(kRelocationDirectory), pe.DirectorySize(kRelocationDirectory));
    std::vector<uint32_t> packed_sites, kept_sites;
    for (uint32_t site : sites) {
        if (site >= image_rva && site < sections[first_kept].rva) {
            if (site + 4 > image_end) Fail("a relocation lies in uninitialised data");
            packed_sites.push_back(site);
        } else if (site >= sections[first_kept].rva && site + 4 <= kiln.rva + kiln.Initialized()) {
            kept_sites.push_back(site);
        } else {
            Fail("a relocation lies outside the sections it keeps");
        }
    }

    Bytes data(image.begin() + image_rva, image.begin() + image_end);
    FilterCallTargets(data.data() + (code_rva - image_rva), code_size, true);
    Bytes gaps = RelocationGaps(packed_sites, image_rva);
    if (image_end + gaps.size() > sections[first_kept].rva) Fail("its relocations do not fit after its data");
    data.insert(data.end(), gaps.begin(), gaps.end());
    Bytes stream = EncodeStream(data.data(), data.size(), options.level);
    Relocate(image, kept_sites, base - linked_base);  // the loader moves them no further

    // .kiln as linked, then its relocations and the stream.
    Bytes tail(image.begin() + kiln.rva, image.begin() + kiln.rva + kiln.Initialized());
    tail.resize(AlignUp(uint32_t(tail.size()), 4));
    uint32_t relocation_table_rva = kiln.rva + uint32_t(tail.size());
    Bytes table = RelocationTable(kept_sites);
    tail.insert(tail.end(), table.begin(), table.end());
    record.linked_base = linked_base;
    record.image_rva = image_rva;
    record.image_size = image_end - image_rva;
    record.relocations_size = uint32_t(gaps.size());
    record.stream_rva = kiln.rva + uint32_t(tail.size());
    record.stream_size = uint32_t(stream.size());
    tail.insert(tail.end(), stream.begin(), stream.end());
    record.checksum = PackedChecksum(0, data.data(), data.size());
    record.code_rva = code_rva;
    record.code_size = code_size;
    record.read_only_rva = read_only_rva;
    record.read_only_size = read_only_size;
    std::memcpy(&tail[record_at - kiln.rva], &record, sizeof record);

    // The new section table: the unpacked program's room, the kept
    // sections, the grown .kiln, then the resources moved behind it, where
    // the builder can let them grow (builder/program/pe_resources.h). A kept
    // section before the resources' old place spans it, so that the
    // sections stay adjacent.
    std::vector<Section> out_sections;
    out_sections.push_back({".text", image_rva, sections[first_kept].rva - image_rva, 0, 0,
                            kUninitializedData | kRead | kWrite});
    const Section* resources = nullptr;
    for (size_t i = first_kept; i + 2 < sections.size(); ++i) {
        if (pe.DirectorySize(kResourceDirectory) && sections[i].Holds(pe.DirectoryRva(kResourceDirectory))) {
            resources = &sections[i];
            continue;
        }
        out_sections.push_back(sections[i]);
    }
    const uint32_t section_alignment = pe.Field(kSectionAlignment);
    for (size_t i = 1; i < out_sections.size(); ++i) {
        uint32_t next = i + 1 < out_sections.size() ? out_sections[i + 1].rva : kiln.rva;
        if (AlignUp(out_sections[i].rva + out_sections[i].size, section_alignment) < next)
            out_sections[i].size = next - out_sections[i].rva;
    }
    const size_t kiln_index = out_sections.size();
    out_sections.push_back({".kiln", kiln.rva, uint32_t(tail.size()), 0, 0, kCode | kInitializedData | kExecute | kRead});
    Bytes resource_tree;
    if (resources) {
        if (resources->rva != pe.DirectoryRva(kResourceDirectory)) Fail("its resources do not start their section");
        Section moved = *resources;
        moved.rva = AlignUp(kiln.rva + uint32_t(tail.size()), section_alignment);
        resource_tree = WriteResources(ReadResources(image, resources->rva), moved.rva);
        moved.size = uint32_t(resource_tree.size());
        out_sections.push_back(moved);
    }
    const uint32_t file_alignment = pe.Field(kFileAlignment);
    const uint32_t pe_at = kDosHeaderSize;
    const uint32_t table_at = pe_at + 24 + kOptionalHeaderSize;
    uint32_t raw_at = AlignUp(table_at + uint32_t(out_sections.size()) * kSectionHeaderSize, file_alignment);
    const uint32_t headers_size = raw_at;
    for (size_t i = 1; i < out_sections.size(); ++i) {
        Section& s = out_sections[i];
        s.raw_size = AlignUp(i >= kiln_index ? s.size : s.Initialized(), file_alignment);
        s.raw_at = raw_at;
        raw_at += s.raw_size;
    }

    Bytes out(raw_at);
    out[0] = 'M';
    out[1] = 'Z';
    WriteU32(&out[0x3C], pe_at);
    std::memcpy(&out[pe_at], "PE\0\0", 4);
    WriteU16(&out[pe_at + 4], pe.machine);
    WriteU16(&out[pe_at + 6], uint16_t(out_sections.size()));
    WriteU32(&out[pe_at + 8], pe.timestamp);
    WriteU16(&out[pe_at + 20], kOptionalHeaderSize);
    WriteU16(&out[pe_at + 22], pe.characteristics);
    uint8_t* optional = &out[pe_at + 24];
    std::copy(pe.optional.begin(), pe.optional.end(), optional);
    const Section& packed_kiln = out_sections[kiln_index];
    const Section& last = out_sections.back();
    WriteU32(optional + kSizeOfCode, packed_kiln.raw_size);
    uint32_t initialized = 0;
    for (size_t i = 1; i < out_sections.size(); ++i)
        if (i != kiln_index) initialized += out_sections[i].raw_size;
    WriteU32(optional + kSizeOfInitializedData, initialized);
    WriteU32(optional + kSizeOfUninitializedData, out_sections[0].size);
    WriteU32(optional + kImageBase, base);
    WriteU32(optional + kSizeOfImage, AlignUp(last.rva + last.size, section_alignment));
    WriteU32(optional + kSizeOfHeaders, headers_size);
    WriteU32(optional + kDirectories + 8 * kRelocationDirectory, relocation_table_rva);
    WriteU32(optional + kDirectories + 8 * kRelocationDirectory + 4, uint32_t(table.size()));
    if (resources) {
        WriteU32(optional + kDirectories + 8 * kResourceDirectory, last.rva);
        WriteU32(optional + kDirectories + 8 * kResourceDirectory + 4, last.size);
    }
    for (size_t i = 0; i < out_sections.size(); ++i) {
        const Section& s = out_sections[i];
        uint8_t* h = &out[table_at + i * kSectionHeaderSize];
        std::memcpy(h, s.name.data(), std::min<size_t>(s.name.size(), 8));
        WriteU32(h + 8, s.size);
        WriteU32(h + 12, s.rva);
        WriteU32(h + 16, s.raw_size);
        WriteU32(h + 20, s.raw_at);
        WriteU32(h + 36, s.characteristics);
        if (i < kiln_index)
            std::copy_n(image.begin() + s.rva, s.raw_size ? s.Initialized() : 0, out.begin() + s.raw_at);
    }
    std::copy(tail.begin(), tail.end(), out.begin() + packed_kiln.raw_at);
    if (resources) std::copy(resource_tree.begin(), resource_tree.end(), out.begin() + last.raw_at);
    WriteU32(optional + kChecksum, PeChecksum(out.data(), out.size(), pe_at + 24 + kChecksum));

    CheckUnpacks(out, linked);
    if (FindPatchBlock(out.data(), out.size()) == out.size() ||
        FindPatchBlock(out.data(), out.size(), FindPatchBlock(out.data(), out.size()) + 1) != out.size())
        Fail("the packed program does not hold exactly one patch block");
    return out;
}
