// Builds package record bodies for tests: a byte writer for little-endian
// numbers and terminated texts, and whole bodies of each kind the setup
// program reads, laid out with nothing after their last item, so that
// cutting any byte off the end damages them. Portable: usable by native and
// Windows-side tests alike.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "package/entry_tables.h"
#include "package/package_format.h"

struct RecordWriter {
    std::vector<uint8_t> bytes;

    uint32_t Size() const { return uint32_t(bytes.size()); }
    RecordWriter& U8(uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    RecordWriter& U16(uint16_t v) { return U8(uint8_t(v)).U8(uint8_t(v >> 8)); }
    RecordWriter& U32(uint32_t v) { return U16(uint16_t(v)).U16(uint16_t(v >> 16)); }
    RecordWriter& Text(const std::string& s) {  // with its terminating zero
        bytes.insert(bytes.end(), s.begin(), s.end());
        return U8(0);
    }
    RecordWriter& WideText(const std::string& s) {  // ASCII as UTF-16, terminated
        for (char c : s) U16(uint8_t(c));
        return U16(0);
    }
    RecordWriter& Raw(const std::vector<uint8_t>& b) {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }
    RecordWriter& Fill(size_t n, uint8_t v = 0) {
        bytes.insert(bytes.end(), n, v);
        return *this;
    }
    RecordWriter& AlignTo(uint32_t n) { return Fill((n - Size() % n) % n); }
    void SetU16(uint32_t at, uint16_t v) { WriteU16(&bytes[at], v); }
    void SetU32(uint32_t at, uint32_t v) { WriteU32(&bytes[at], v); }
};

// A package record: header (uncompressed) and body.
inline void AppendStoredRecord(RecordWriter& w, uint16_t tag, const std::vector<uint8_t>& body) {
    w.U16(tag).U8(0).U8(0).U32(uint32_t(body.size())).Raw(body);
}

// Setup type record: texts by field offset (kTypeDisplayName, ...) and
// string groups by number; what is not given is absent (offset 0). Texts
// come first, groups after them, in ascending order.
struct SetupTypeContents {
    uint16_t options = 0;
    uint32_t registry_root = 0;
    std::map<uint32_t, std::string> texts;
    std::map<int, std::vector<std::string>> groups;
};

inline std::vector<uint8_t> SetupTypeBody(const SetupTypeContents& c) {
    RecordWriter w;
    w.U16(c.options).U16(0).Fill(kTypeFixedSize - 4);
    w.SetU32(kTypeRegistryRoot, c.registry_root);
    for (const auto& [field, text] : c.texts) {
        w.SetU32(field, w.Size());
        w.Text(text);
    }
    for (const auto& [group, texts] : c.groups) {
        w.SetU32(kTypeStringGroups + 4 * group, w.Size());
        w.U16(uint16_t(texts.size()));
        for (const std::string& t : texts) w.Text(t);
    }
    return w.bytes;
}

// File list entry; the version block and file times are written when the
// flags ask for them, and the entry size is computed.
struct FileEntryContents {
    uint8_t flags = 0;
    uint8_t destination_kind = 0, role = 0, shared_count = 0, placement = 0, install_action = 0;
    uint16_t icon_index = 0, setup_type = 0;
    uint32_t archive_offset = 0, stored_size = 0, unpacked_size = 0, checksum = 0, base_ordinal = 0;
    uint32_t version_ms = 0, version_ls = 0, language = 0;
    std::vector<std::string> strings = {"file.txt", "", "", "", "", ""};
};

inline void AppendFileEntry(RecordWriter& w, const FileEntryContents& e) {
    uint32_t start = w.Size();
    w.U16(0).U16(0).U16(e.icon_index).U32(e.archive_offset).U32(e.stored_size).U32(e.unpacked_size).U32(e.checksum);
    w.U8(e.flags).U8(e.destination_kind).U8(e.role).U8(e.shared_count).U8(e.placement).U8(e.install_action);
    w.U16(e.setup_type).U32(e.base_ordinal);
    if (e.flags & (kEntryVersionTest | kEntryLanguageTest)) w.U32(e.version_ms).U32(e.version_ls).Fill(8).U32(e.language);
    if (e.flags & kEntryHasFileTimes) w.Fill(kEntryFileTimesSize, 0x11);
    for (const std::string& s : e.strings) w.Text(s);
    w.SetU16(start + kEntrySize, uint16_t(w.Size() - start));
}

inline std::vector<uint8_t> FileListBody(const std::vector<FileEntryContents>& entries) {
    RecordWriter w;
    w.U32(uint32_t(entries.size()));
    for (const FileEntryContents& e : entries) AppendFileEntry(w, e);
    return w.bytes;
}

// INI, registry and file patch tables.
struct IniEntryContents {
    uint8_t flags;
    std::string file, section, key, value;
};
struct RegistryEntryContents {
    uint32_t root;
    uint8_t flags;
    std::string key, value_name, data;
};
struct PatchEntryContents {
    uint32_t offset;
    std::string file, data;
    std::vector<uint8_t> pattern;
};

inline std::vector<uint8_t> IniTableBody(const std::vector<IniEntryContents>& entries) {
    RecordWriter w;
    w.U16(uint16_t(entries.size()));
    for (const auto& e : entries) w.U8(e.flags).Text(e.file).Text(e.section).Text(e.key).Text(e.value);
    return w.bytes;
}

inline std::vector<uint8_t> RegistryTableBody(const std::vector<RegistryEntryContents>& entries) {
    RecordWriter w;
    w.U16(uint16_t(entries.size()));
    for (const auto& e : entries) w.U32(e.root).U8(e.flags).Text(e.key).Text(e.value_name).Text(e.data);
    return w.bytes;
}

inline std::vector<uint8_t> PatchTableBody(const std::vector<PatchEntryContents>& entries) {
    RecordWriter w;
    w.U16(uint16_t(entries.size()));
    for (const auto& e : entries)
        w.U32(e.offset).U32(uint32_t(e.pattern.size())).Fill(5).Text(e.file).Text(e.data).Raw(e.pattern);
    return w.bytes;
}

// In-memory dialog templates. A class or title given as an ordinal (not 0)
// is written as 0xFFFF and the ordinal, else as a text; an empty menu is
// "no menu".
struct DialogItemContents {
    uint16_t class_ordinal = 0x0082;  // static control
    std::string class_name;
    std::string title;
    uint16_t id = 0;
    std::vector<uint8_t> creation_data;
    uint16_t title_ordinal = 0;
};

struct DialogContents {
    bool extended = false;  // DLGTEMPLATEEX
    uint32_t style = 0;     // DS_SETFONT (0x40) writes the font
    uint16_t menu_ordinal = 0;
    std::string menu, class_name, title;
    std::string face = "MS Sans Serif";
    std::vector<DialogItemContents> items;
};

inline void WriteNameOrOrdinal(RecordWriter& w, uint16_t ordinal, const std::string& name) {
    if (ordinal) w.U16(0xFFFF).U16(ordinal);
    else w.WideText(name);
}

inline std::vector<uint8_t> DialogTemplateBytes(const DialogContents& d) {
    RecordWriter w;
    if (d.extended) w.U16(1).U16(0xFFFF).U32(0).U32(0).U32(d.style);
    else w.U32(d.style).U32(0);
    w.U16(uint16_t(d.items.size())).U16(10).U16(10).U16(200).U16(100);
    WriteNameOrOrdinal(w, d.menu_ordinal, d.menu);
    WriteNameOrOrdinal(w, 0, d.class_name);
    w.WideText(d.title);
    if (d.style & 0x40) {
        w.U16(8);
        if (d.extended) w.U16(400).U8(0).U8(0);
        w.WideText(d.face);
    }
    for (const DialogItemContents& item : d.items) {
        w.AlignTo(4);
        if (d.extended) w.U32(0).U32(0).U32(0x50000000);
        else w.U32(0x50000000).U32(0);
        w.U16(5).U16(5).U16(50).U16(10);
        if (d.extended) w.U32(item.id);
        else w.U16(item.id);
        WriteNameOrOrdinal(w, item.class_ordinal, item.class_name);
        WriteNameOrOrdinal(w, item.title_ordinal, item.title);
        w.U16(uint16_t(item.creation_data.size())).Raw(item.creation_data);
        if (item.creation_data.size() % 2) w.U8(0);
    }
    return w.bytes;
}

// Template table: the offset array, then the templates, each on a 4-byte boundary.
inline std::vector<uint8_t> DialogTemplateTableBody(const std::vector<std::vector<uint8_t>>& templates) {
    RecordWriter w;
    w.Fill(4 * templates.size());
    for (size_t k = 0; k < templates.size(); ++k) {
        w.AlignTo(4);
        w.SetU32(uint32_t(4 * k), w.Size());
        w.Raw(templates[k]);
    }
    return w.bytes;
}

// Picture: file header, BITMAPINFOHEADER, colour table, bits (rows padded to 4 bytes).
inline std::vector<uint8_t> PictureBody(int32_t width, int32_t height, uint16_t bit_count, uint32_t colours_used = 0) {
    RecordWriter w;
    w.U16(0x4D42).Fill(12);  // "BM" and the rest of the file header, which the program ignores
    w.U32(kBitmapInfoHeaderSize).U32(uint32_t(width)).U32(uint32_t(height)).U16(1).U16(bit_count);
    w.U32(0).U32(0).U32(0).U32(0).U32(colours_used).U32(0);
    for (uint32_t k = 0; k < ColourTableEntries(bit_count, colours_used); ++k) w.U32(k * 0x010101u);
    uint32_t row = (uint32_t(width) * bit_count + 31) / 32 * 4;
    w.Fill(size_t(row) * uint32_t(height), 0x5A);
    return w.bytes;
}

// Background description: shadow colour, text colour, LOGFONTA. A face
// name of 32 characters or more is cut to 32 bytes, without a terminator.
inline std::vector<uint8_t> BackgroundDescriptionBody(uint32_t shadow, uint32_t text, const std::string& face) {
    RecordWriter w;
    w.U32(shadow).U32(text).U32(uint32_t(-24)).U32(0).U32(0).U32(0).U32(700).Fill(8);
    w.Text(face);
    w.bytes.resize(kDescriptionSize);
    return w.bytes;
}
