#include "builder/program/pe_resources.h"

#include <algorithm>
#include <map>

#include "builder/manifest/build_error.h"
#include "package/package_format.h"

namespace {

[[noreturn]] void Fail(const std::string& why) { throw BuildError("the program's resources: " + why); }

constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr size_t kMostResources = 0x10000;  // a tree whose directories share subtrees could name far more

uint32_t AlignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

struct TreeReader {
    const Bytes& image;
    uint32_t root;
    std::vector<Resource> out;

    void Need(uint64_t at, uint64_t n) const {
        if (at + n > image.size()) Fail("the resource tree reaches outside the image");
    }
    ResourceId Id(uint32_t name) const {
        if (!(name & kSubdirectory)) return {uint16_t(name), {}};
        uint64_t at = uint64_t(root) + (name & ~kSubdirectory);
        Need(at, 2);
        uint16_t length = ReadU16(&image[at]);
        Need(at + 2, 2ull * length);
        ResourceId id;
        for (uint16_t i = 0; i < length; ++i) id.text.push_back(char16_t(ReadU16(&image[at + 2 + 2 * i])));
        if (id.text.empty()) Fail("a resource has an empty name");
        return id;
    }
    // depth 0: types, 1: names, 2: languages.
    void Walk(uint32_t directory, int depth, Resource& r) {
        uint64_t at = uint64_t(root) + directory;
        Need(at, 16);
        uint32_t count = uint32_t(ReadU16(&image[at + 12])) + ReadU16(&image[at + 14]);
        Need(at + 16, 8ull * count);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t name = ReadU32(&image[at + 16 + 8 * i]), target = ReadU32(&image[at + 20 + 8 * i]);
            ResourceId id = Id(name);
            if (depth == 0) r.type = id;
            if (depth == 1) r.name = id;
            if (depth == 2) {
                if (!id.text.empty()) Fail("a resource's language is a name");
                r.language = id.number;
            }
            if (bool(target & kSubdirectory) != (depth < 2)) Fail("the resource tree is not types, names and languages");
            if (depth < 2) {
                Walk(target & ~kSubdirectory, depth + 1, r);
                continue;
            }
            uint64_t entry = uint64_t(root) + target;
            Need(entry, 16);
            uint32_t data = ReadU32(&image[entry]), size = ReadU32(&image[entry + 4]);
            Need(data, size);
            if (out.size() == kMostResources) Fail("the resource tree names too many resources");
            r.data.assign(image.begin() + data, image.begin() + data + size);
            r.code_page = ReadU32(&image[entry + 8]);
            out.push_back(r);
        }
    }
};

// Names first, in the order of their characters, then numbers.
bool IdLess(const ResourceId& a, const ResourceId& b) {
    if (a.text.empty() != b.text.empty()) return !a.text.empty();
    return a.text.empty() ? a.number < b.number : a.text < b.text;
}

struct Directory {
    // The next level's directories by id, or at the last level the resources.
    std::vector<std::pair<ResourceId, size_t>> entries;
    uint32_t at = 0;
};

}  // namespace

std::vector<Resource> ReadResources(const Bytes& image, uint32_t rva) {
    TreeReader reader{image, rva, {}};
    Resource r;
    reader.Walk(0, 0, r);
    return std::move(reader.out);
}

Bytes WriteResources(const std::vector<Resource>& resources, uint32_t rva) {
    std::vector<const Resource*> sorted;
    for (const Resource& r : resources) sorted.push_back(&r);
    auto less = [](const Resource* a, const Resource* b) {
        if (!(a->type == b->type)) return IdLess(a->type, b->type);
        if (!(a->name == b->name)) return IdLess(a->name, b->name);
        return a->language < b->language;
    };
    std::stable_sort(sorted.begin(), sorted.end(), less);
    for (size_t i = 1; i < sorted.size(); ++i)
        if (!less(sorted[i - 1], sorted[i])) Fail("two resources have the same type, name and language");

    // Directories in the order they are laid out: the root, the types' name
    // directories, the names' language directories.
    std::vector<Directory> directories(1);
    std::vector<std::vector<size_t>> levels{{0}, {}, {}};
    for (size_t i = 0; i < sorted.size(); ++i) {
        const Resource& r = *sorted[i];
        if (directories[0].entries.empty() || !(directories[0].entries.back().first == r.type)) {
            directories.emplace_back();
            directories[0].entries.push_back({r.type, directories.size() - 1});
            levels[1].push_back(directories.size() - 1);
        }
        size_t names = directories[0].entries.back().second;
        if (directories[names].entries.empty() || !(directories[names].entries.back().first == r.name)) {
            directories.emplace_back();
            directories[names].entries.push_back({r.name, directories.size() - 1});
            levels[2].push_back(directories.size() - 1);
        }
        size_t languages = directories[names].entries.back().second;
        directories[languages].entries.push_back({ResourceId{r.language, {}}, i});
    }

    uint32_t size = 0;
    for (const std::vector<size_t>& level : levels)
        for (size_t d : level) {
            directories[d].at = size;
            size += 16 + 8 * uint32_t(directories[d].entries.size());
        }
    const uint32_t data_entries = size;
    size += 16 * uint32_t(sorted.size());
    std::map<std::u16string, uint32_t> names;
    for (const Directory& d : directories)
        for (const auto& [id, _] : d.entries)
            if (!id.text.empty() && !names.count(id.text)) {
                if (id.text.size() > 0xFFFF) Fail("a resource name is too long");
                names[id.text] = size;
                size += 2 + 2 * uint32_t(id.text.size());
            }
    std::vector<uint32_t> data_at;
    for (const Resource* r : sorted) {
        size = AlignUp(size, 8);
        data_at.push_back(size);
        size += uint32_t(r->data.size());
    }

    Bytes out(size);
    for (size_t d = 0; d < directories.size(); ++d) {
        const Directory& dir = directories[d];
        uint16_t named = uint16_t(std::count_if(dir.entries.begin(), dir.entries.end(),
                                                [](const auto& e) { return !e.first.text.empty(); }));
        WriteU16(&out[dir.at + 12], named);
        WriteU16(&out[dir.at + 14], uint16_t(dir.entries.size() - named));
        bool last_level = d > 0 && std::find(levels[2].begin(), levels[2].end(), d) != levels[2].end();
        for (size_t e = 0; e < dir.entries.size(); ++e) {
            const auto& [id, target] = dir.entries[e];
            uint8_t* entry = &out[dir.at + 16 + 8 * e];
            WriteU32(entry, id.text.empty() ? id.number : names[id.text] | kSubdirectory);
            WriteU32(entry + 4, last_level ? data_entries + 16 * uint32_t(target)
                                           : directories[target].at | kSubdirectory);
        }
    }
    for (const auto& [text, at] : names) {
        WriteU16(&out[at], uint16_t(text.size()));
        for (size_t i = 0; i < text.size(); ++i) WriteU16(&out[at + 2 + 2 * i], text[i]);
    }
    for (size_t i = 0; i < sorted.size(); ++i) {
        uint8_t* entry = &out[data_entries + 16 * i];
        WriteU32(entry, rva + data_at[i]);
        WriteU32(entry + 4, uint32_t(sorted[i]->data.size()));
        WriteU32(entry + 8, sorted[i]->code_page);
        std::copy(sorted[i]->data.begin(), sorted[i]->data.end(), out.begin() + data_at[i]);
    }
    return out;
}

namespace {

// Fields of the optional header, at the same places in PE32 and PE32+;
// the data directories follow the image base, which is 4 or 8 bytes wide.
constexpr size_t kOptionalHeader = 24, kSizeOfInitializedData = 8, kSectionAlignment = 32, kFileAlignment = 36,
                 kSizeOfImage = 56, kChecksum = 64, kSectionHeader = 40;
constexpr int kResourceDirectory = 2, kRelocationDirectory = 5;

struct Headers {
    uint32_t pe, directories, sections, count;
    uint32_t Directory(int d) const { return pe + kOptionalHeader + directories + 8 * d; }
    uint32_t Section(uint32_t i) const { return sections + kSectionHeader * i; }
};

Headers ReadHeaders(const Bytes& program) {
    auto need = [&](uint64_t at, uint64_t n) {
        if (at + n > program.size()) Fail("the file ends inside its headers");
    };
    need(0, 0x40);
    if (program[0] != 'M' || program[1] != 'Z') Fail("not a Windows program");
    Headers h{ReadU32(&program[0x3C]), 0, 0, 0};
    need(h.pe, kOptionalHeader + 2);
    const uint16_t magic = ReadU16(&program[h.pe + kOptionalHeader]), size = ReadU16(&program[h.pe + 20]);
    h.directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
    if (ReadU32(&program[h.pe]) != 0x4550 || !h.directories || size != h.directories + 16 * 8)
        Fail("not a Windows program with the usual optional header");
    need(h.pe, kOptionalHeader + size);
    h.count = ReadU16(&program[h.pe + 6]);
    h.sections = h.pe + kOptionalHeader + size;
    need(h.sections, uint64_t(kSectionHeader) * h.count);
    if (!h.count) Fail("the program has no sections");
    return h;
}

// The image as the loader lays it out, not relocated: resources hold
// addresses relative to the image only.
Bytes MapSections(const Bytes& program, const Headers& h) {
    Bytes image(ReadU32(&program[h.pe + kOptionalHeader + kSizeOfImage]));
    for (uint32_t i = 0; i < h.count; ++i) {
        const uint8_t* s = &program[h.Section(i)];
        uint32_t rva = ReadU32(s + 12), raw = std::min(ReadU32(s + 8), ReadU32(s + 16)), at = ReadU32(s + 20);
        if (uint64_t(at) + raw > program.size() || uint64_t(rva) + raw > image.size())
            Fail("a section lies outside the file or the image");
        std::copy_n(program.begin() + at, raw, image.begin() + rva);
    }
    return image;
}

}  // namespace

std::vector<Resource> ProgramResources(const Bytes& program) {
    Headers h = ReadHeaders(program);
    uint32_t rva = ReadU32(&program[h.Directory(kResourceDirectory)]);
    if (!rva) return {};
    return ReadResources(MapSections(program, h), rva);
}

Bytes ReplaceProgramResources(const Bytes& program, const std::vector<Resource>& resources) {
    Headers h = ReadHeaders(program);
    // The resources are the last section, or the last but the base
    // relocations (as the linker lays them out), which then move behind
    // them: nothing refers to the relocations but their directory entry.
    uint32_t r = h.count - 1;
    const uint32_t resource_rva = ReadU32(&program[h.Directory(kResourceDirectory)]);
    const uint32_t relocation_rva = ReadU32(&program[h.Directory(kRelocationDirectory)]);
    const bool relocations_last = h.count > 1 && relocation_rva &&
                                  ReadU32(&program[h.Section(r) + 12]) == relocation_rva;
    if (relocations_last) --r;
    const uint8_t* section = &program[h.Section(r)];
    const uint32_t rva = ReadU32(section + 12), old_raw = ReadU32(section + 16), raw_at = ReadU32(section + 20);
    if (resource_rva != rva)
        Fail("they are not the start of its last section, where they could grow (a program packed by kiln has them there)");
    Bytes relocations;
    uint32_t tail_at = raw_at + old_raw;
    if (relocations_last) {
        const uint8_t* last = &program[h.Section(r + 1)];
        if (ReadU32(last + 20) != tail_at || uint64_t(tail_at) + ReadU32(last + 16) > program.size())
            Fail("its relocations do not follow them in the file");
        relocations.assign(program.begin() + tail_at, program.begin() + tail_at + ReadU32(last + 16));
        tail_at += uint32_t(relocations.size());
    }
    if (tail_at != program.size()) Fail("bytes follow its last section: give the bare program, not a setup file");

    const uint32_t optional = h.pe + kOptionalHeader;
    const uint32_t section_alignment = ReadU32(&program[optional + kSectionAlignment]);
    Bytes tree = WriteResources(resources, rva);
    const uint32_t size = uint32_t(tree.size()), raw = AlignUp(size, ReadU32(&program[optional + kFileAlignment]));
    tree.resize(raw);
    Bytes out(program.begin(), program.begin() + raw_at);
    out.insert(out.end(), tree.begin(), tree.end());
    out.insert(out.end(), relocations.begin(), relocations.end());
    WriteU32(&out[h.Section(r) + 8], size);
    WriteU32(&out[h.Section(r) + 16], raw);
    WriteU32(&out[h.Directory(kResourceDirectory) + 4], size);
    uint32_t image_end = rva + size;
    if (relocations_last) {
        const uint32_t moved = AlignUp(image_end, section_alignment);
        WriteU32(&out[h.Section(r + 1) + 12], moved);
        WriteU32(&out[h.Section(r + 1) + 20], raw_at + raw);
        WriteU32(&out[h.Directory(kRelocationDirectory)], moved);
        image_end = moved + ReadU32(&out[h.Section(r + 1) + 8]);
    }
    WriteU32(&out[optional + kSizeOfInitializedData], ReadU32(&out[optional + kSizeOfInitializedData]) - old_raw + raw);
    WriteU32(&out[optional + kSizeOfImage], AlignUp(image_end, section_alignment));
    WriteU32(&out[optional + kChecksum], PeChecksum(out.data(), out.size(), optional + kChecksum));
    return out;
}

ProgramMachine MachineOf(const Bytes& program) {
    if (program.size() < 0x40 || program[0] != 'M' || program[1] != 'Z') return ProgramMachine::kUnknown;
    uint32_t pe = ReadU32(&program[0x3C]);
    if (uint64_t(pe) + 6 > program.size() || ReadU32(&program[pe]) != 0x4550) return ProgramMachine::kUnknown;
    switch (ReadU16(&program[pe + 4])) {
        case 0x14C: return ProgramMachine::kX86;
        case 0x8664: return ProgramMachine::kX64;
        default: return ProgramMachine::kUnknown;
    }
}
