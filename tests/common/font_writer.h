// Minimal TrueType files for font tests: an offset table, a table directory
// and a naming table, big-endian as the format has it. The files carry no
// glyphs; only the parts that name the font are real.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct FontNameRecord {
    uint16_t platform, name_id;
    std::string text;
};

struct FontContents {
    std::vector<FontNameRecord> names;
    int tables_before_name = 1;  // other directory entries ahead of "name"
    bool has_name_table = true;
};

inline void PutBig16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}
inline void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
    PutBig16(out, v >> 16);
    PutBig16(out, v & 0xFFFF);
}
inline void SetBig16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = uint8_t(v >> 8);
    out[at + 1] = uint8_t(v);
}
inline void SetBig32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    SetBig16(out, at, v >> 16);
    SetBig16(out, at + 2, v & 0xFFFF);
}

// Offsets of the parts that tests damage on purpose.
struct FontLayout {
    size_t name_directory_entry = 0;  // the "name" entry of the table directory
    size_t naming_table = 0;
    size_t first_record = 0;
};

inline std::vector<uint8_t> TrueTypeFile(const FontContents& c, FontLayout* layout = nullptr) {
    FontLayout l;
    uint32_t tables = uint32_t(c.tables_before_name) + (c.has_name_table ? 1 : 0);
    std::vector<uint8_t> f;
    PutBig32(f, 0x00010000);  // version 1.0
    PutBig16(f, tables);
    f.resize(12, 0);  // search range, entry selector, range shift: not read
    for (int i = 0; i < c.tables_before_name; ++i) {
        f.insert(f.end(), {'g', 'l', 'f', uint8_t('0' + i % 10)});
        PutBig32(f, 0);
        PutBig32(f, 0);  // offset: nothing there
        PutBig32(f, 0);
    }
    if (c.has_name_table) {
        l.name_directory_entry = f.size();
        f.insert(f.end(), {'n', 'a', 'm', 'e'});
        PutBig32(f, 0);
        PutBig32(f, 0);  // offset, set below
        PutBig32(f, 0);
        l.naming_table = f.size();
        SetBig32(f, l.name_directory_entry + 8, uint32_t(l.naming_table));
        PutBig16(f, 0);
        PutBig16(f, uint32_t(c.names.size()));
        PutBig16(f, uint32_t(6 + 12 * c.names.size()));  // strings right after the records
        l.first_record = f.size();
        uint32_t at = 0;
        for (const FontNameRecord& n : c.names) {
            PutBig16(f, n.platform);
            PutBig16(f, 0);  // encoding
            PutBig16(f, 0);  // language
            PutBig16(f, n.name_id);
            PutBig16(f, uint32_t(n.text.size()));
            PutBig16(f, at);
            at += uint32_t(n.text.size());
        }
        for (const FontNameRecord& n : c.names) f.insert(f.end(), n.text.begin(), n.text.end());
    }
    if (layout) *layout = l;
    return f;
}
