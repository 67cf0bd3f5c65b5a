// File list entries for tests, laid out byte for byte as the package
// builder writes them: fixed part, optional version and file-time blocks,
// then the six terminated strings.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "package/package_format.h"

struct EntryWriter {
    std::string strings[kEntryStringCount];  // 0 is the file name
    uint8_t flags = 0;
    uint8_t destination_kind = kDestinationFolder;
    uint8_t placement = kPlacementKept;

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> bytes(EntryStringsOffset(flags), 0);
        bytes[kEntryFlags] = flags;
        bytes[kEntryDestinationKind] = destination_kind;
        bytes[kEntryPlacement] = placement;
        // Recognisable filler in the optional blocks, which hold no text.
        for (size_t i = kEntryFixedSize; i < bytes.size(); ++i) bytes[i] = 0xA5;
        for (const std::string& s : strings) bytes.insert(bytes.end(), s.c_str(), s.c_str() + s.size() + 1);
        WriteU16(&bytes[kEntrySize], uint16_t(bytes.size()));
        return bytes;
    }
};

inline EntryWriter Entry(const std::string& file_name, uint8_t destination_kind = kDestinationFolder,
                         uint8_t placement = kPlacementKept, uint8_t flags = 0) {
    EntryWriter e;
    e.strings[0] = file_name;
    e.destination_kind = destination_kind;
    e.placement = placement;
    e.flags = flags;
    return e;
}

// A file list body: u32 entry count, then the entries back to back.
inline std::vector<uint8_t> FileListBytes(const std::vector<EntryWriter>& entries) {
    std::vector<uint8_t> list(kFileListHeaderSize, 0);
    WriteU32(list.data(), uint32_t(entries.size()));
    for (const EntryWriter& e : entries) {
        std::vector<uint8_t> bytes = e.Bytes();
        list.insert(list.end(), bytes.begin(), bytes.end());
    }
    return list;
}
