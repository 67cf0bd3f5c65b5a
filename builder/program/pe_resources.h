// A Windows program's resources: the tree of the resource section read into
// a flat list and laid out again, and the program file with its resource
// section replaced. Portable: the builder writes the setup program's icon,
// version and manifest with it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "builder/manifest/product.h"
#include "package/integrity.h"  // PeChecksum

// A resource type or name: a number, or a text when `text` is not empty.
struct ResourceId {
    uint16_t number = 0;
    std::u16string text;
    bool operator==(const ResourceId& o) const { return number == o.number && text == o.text; }
};

struct Resource {
    ResourceId type, name;
    uint16_t language = 0;
    Bytes data;
    uint32_t code_page = 0;
    bool operator==(const Resource& o) const {
        return type == o.type && name == o.name && language == o.language && data == o.data && code_page == o.code_page;
    }
};

constexpr uint16_t kResourceIcon = 3, kResourceGroupIcon = 14, kResourceVersion = 16, kResourceManifest = 24;

// The resources whose tree starts at `rva` of a program's image as the
// loader lays it out. Throws BuildError when the tree or a resource's data
// lies outside the image, or the tree nests deeper than type, name and
// language.
std::vector<Resource> ReadResources(const Bytes& image, uint32_t rva);

// A resource section for address `rva`: the directories sorted as the
// system's lookup expects them (names before numbers), each resource's
// data on an 8-byte boundary.
Bytes WriteResources(const std::vector<Resource>& resources, uint32_t rva);

// The resources of a program file. Throws BuildError.
std::vector<Resource> ProgramResources(const Bytes& program);

// The program with its resources replaced. The resource section must be
// the program's last section and end the file, so that it can grow; the
// image size, the section's sizes, the resource directory and the header
// checksum follow it. Throws BuildError.
Bytes ReplaceProgramResources(const Bytes& program, const std::vector<Resource>& resources);

// The processor a Windows program is built for, from its file header.
enum class ProgramMachine { kUnknown, kX86, kX64 };
ProgramMachine MachineOf(const Bytes& program);
