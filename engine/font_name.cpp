#include "engine/font_name.h"

#include <cstring>

namespace {

uint32_t Big16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t Big32(const uint8_t* p) { return Big16(p) << 16 | Big16(p + 2); }

// Offsets are computed wide: a table or string that would lie beyond what
// a 32-bit offset reaches counts as unreadable instead of wrapping around.
struct FontFile {
    FontReader read;
    void* context;
    bool Read(uint64_t offset, uint8_t* buffer, uint32_t size) const {
        return offset + size <= 0xFFFFFFFFu && read(context, uint32_t(offset), buffer, size);
    }
};

// The offset of the naming table, or false when none is among the first entries.
bool FindNamingTable(const FontFile& font, uint32_t* table) {
    uint8_t header[12];
    if (!font.Read(0, header, sizeof header)) return false;
    uint32_t count = Big16(header + 4);
    for (uint32_t i = 0; i < count && i < uint32_t(kFontDirectoryLimit); ++i) {
        uint8_t entry[16];
        if (!font.Read(12 + 16 * uint64_t(i), entry, sizeof entry)) return false;
        if (std::memcmp(entry, "name", 4) == 0) {
            *table = Big32(entry + 8);
            return true;
        }
    }
    return false;
}

}  // namespace

size_t ReadFontFullName(FontReader read, void* context, char (&name)[kFontNameSize]) {
    name[0] = 0;
    FontFile font{read, context};
    uint32_t table;
    uint8_t header[6];
    if (!FindNamingTable(font, &table) || !font.Read(table, header, sizeof header)) return 0;
    uint32_t records = Big16(header + 2);
    uint64_t storage = uint64_t(table) + Big16(header + 4);
    for (uint32_t r = 0; r < records; ++r) {
        uint8_t record[12];
        if (!font.Read(uint64_t(table) + 6 + 12 * uint64_t(r), record, sizeof record)) break;
        if (Big16(record) != 1 || Big16(record + 6) != 4) continue;
        uint32_t length = Big16(record + 8);
        if (length > kFontNameSize - 1) length = kFontNameSize - 1;
        // The last such record decides, also when its string is empty, so
        // that whoever reads the file by the same rule (an uninstaller among
        // them) finds the name the font was registered under.
        if (font.Read(storage + Big16(record + 10), reinterpret_cast<uint8_t*>(name), length)) name[length] = 0;
        else name[0] = 0;  // a string that cannot be read gives no name
    }
    return std::strlen(name);
}
