// Any bytes may arrive as a record body. Whatever a check accepts is then
// walked the way the setup program walks it (every text of every group, every
// file list entry and its texts, every table entry, every dialog template as
// the dialog manager reads its copy, every picture row), from an exact-size
// heap copy, so that AddressSanitizer reports any read the check let
// through. Package texts used as formats are run through the safe formatter
// with any capacity.
//
// Input: byte 0 picks the body kind (low 4 bits) and whether the rest is the
// body itself or a list of edits to a good body of that kind (bit 7), which
// reaches deep layouts quickly from an empty corpus.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "package/entry_tables.h"
#include "package/file_list.h"
#include "package/package_validate.h"
#include "package/safe_format.h"
#include "package/string_groups.h"
#include "tests/common/record_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

volatile uint32_t g_sink;  // keeps the walks' reads

void Require(bool condition) {
    if (!condition) std::abort();
}

void Touch(const char* text) { g_sink = g_sink + uint32_t(std::strlen(text)); }
void Touch(const uint8_t* bytes, size_t n) {
    for (size_t k = 0; k < n; ++k) g_sink = g_sink + bytes[k];
}

// --- Walks of accepted bodies ---------------------------------------------------

void WalkSetupType(const uint8_t* record, uint32_t size) {
    for (uint32_t field : {kTypeUninstallKey, kTypeDisplayName, kTypeDefaultFolder, kTypeRegistryKey,
                           kTypeRegistryValue, kTypeIniFile, kTypeIniSection, kTypeIniKey})
        if (const char* text = TypeText(record, field)) Touch(text);
    for (int group = -1; group <= kStringGroupCount; ++group) {
        uint32_t at = group >= 0 && group < kStringGroupCount ? ReadU32(record + kTypeStringGroups + 4 * group) : 0;
        int count = at ? ReadU16(record + at) : 0;
        // The last index steps over every text of the group; the first few
        // and the ones just past the count are looked up as well.
        for (int index : {count - 1, count, count + 1, 0xFFFF, -1, 65536}) Touch(GroupText(record, group, index));
        for (int index = 0; index < count && index < 32; ++index) Touch(GroupText(record, group, index));
        Require(at < size || !at);
    }
}

void WalkFileList(const uint8_t* list, uint32_t size) {
    uint32_t count = ReadU32(list);
    const uint8_t* entry = list + kFileListHeaderSize;
    for (uint32_t n = 0; n < count; ++n) {
        Touch(entry, EntryStringsOffset(entry[kEntryFlags]));  // fixed part and optional blocks
        for (int k = 0; k < kEntryStringCount; ++k) Touch(EntryString(entry, k));
        entry = NextEntry(entry);
        Require(entry <= list + size);
    }
}

template <typename Entry>
void WalkTable(const uint8_t* table, uint32_t size, const uint8_t* (*read)(const uint8_t*, Entry*),
               void (*touch)(const Entry&)) {
    const uint8_t* at = FirstTableEntry(table);
    for (uint32_t n = EntryTableCount(table); n > 0; --n) {
        Entry e;
        at = read(at, &e);
        touch(e);
        Require(at <= table + size);
    }
}

void TouchIni(const IniTableEntry& e) {
    for (const char* t : {e.file, e.section, e.key, e.value}) Touch(t);
}
void TouchRegistry(const RegistryTableEntry& e) {
    for (const char* t : {e.key, e.value_name, e.data}) Touch(t);
}
void TouchPatch(const PatchTableEntry& e) {
    Touch(e.file);
    Touch(e.data);
    Require(e.pattern_length <= kPatchMaxPattern);
    Touch(e.pattern, e.pattern_length);
}

// Reads a template as the dialog manager reads it, with no bounds of its own.
const uint8_t* SkipWide(const uint8_t* p) {
    while (ReadU16(p)) p += 2;
    return p + 2;
}
const uint8_t* SkipNameOrOrdinal(const uint8_t* p) {
    uint16_t w = ReadU16(p);
    return w == 0 ? p + 2 : w == 0xFFFF ? p + 4 : SkipWide(p);
}

void WalkTemplate(const uint8_t* t, size_t length) {
    bool ex = ReadU16(t) == 1 && ReadU16(t + 2) == 0xFFFF;
    uint32_t style = ReadU32(t + (ex ? 12 : 0));
    uint16_t items = ReadU16(t + (ex ? 16 : 8));
    const uint8_t* p = t + (ex ? 26 : 18);
    p = SkipWide(SkipNameOrOrdinal(SkipNameOrOrdinal(p)));
    if (style & 0x40) p = SkipWide(p + (ex ? 6 : 2));
    for (uint16_t k = 0; k < items; ++k) {
        p = t + ((p - t + 3) & ~3);
        p = SkipNameOrOrdinal(SkipNameOrOrdinal(p + (ex ? 24 : 18)));
        uint16_t extra = ReadU16(p);
        Touch(p, 2 + extra);
        p += 2 + extra + (extra & 1);
    }
    Require(p <= t + length);
}

void WalkTemplates(const uint8_t* table, uint32_t size, int count) {
    for (int k = 0; k < count; ++k) {
        uint32_t at = ReadU32(table + 4 * k);
        size_t length = size - at;
        Require(length <= kTemplateCopySize);  // the program's copy block holds it
        std::unique_ptr<uint8_t[]> copy(new uint8_t[length]);
        std::memcpy(copy.get(), table + at, length);
        WalkTemplate(copy.get(), length);
    }
}

void WalkPicture(const uint8_t* picture, uint32_t) {
    const uint8_t* info = picture + kBitmapFileHeaderSize;
    uint32_t width = ReadU32(info + kBitmapWidth), height = ReadU32(info + kBitmapHeight);
    uint16_t bits = ReadU16(info + kBitmapBitCount);
    uint32_t entries = ColourTableEntries(bits, ReadU32(info + kBitmapColoursUsed));
    const uint8_t* table = info + kBitmapInfoHeaderSize;
    // The palette of an 8-bit picture takes at most 256 entries from the table.
    Touch(table, 4 * size_t(entries < 256 ? entries : 256));
    const uint8_t* pixels = table + 4 * size_t(entries);
    size_t row = (size_t(width) * bits + 31) / 32 * 4;
    Touch(pixels, row);                                      // first row
    Touch(pixels + row * (size_t(height) - 1), row);  // last row
}

void WalkDescription(const uint8_t* d, uint32_t) {
    Touch(d, kDescriptionFaceName);
    Require(std::strlen(reinterpret_cast<const char*>(d + kDescriptionFaceName)) < kFaceNameSize);
}

void WalkTitle(const uint8_t* title, uint32_t) { Touch(reinterpret_cast<const char*>(title)); }

// --- Body kinds -------------------------------------------------------------------

struct Kind {
    bool (*validate)(const uint8_t*, uint32_t);
    void (*walk)(const uint8_t*, uint32_t);
    Bytes (*good)();
};

bool ValidateTemplates(const uint8_t* d, uint32_t n) { return ValidateDialogTemplateTable(d, n, kTemplateCount); }
void WalkAllTemplates(const uint8_t* d, uint32_t n) { WalkTemplates(d, n, kTemplateCount); }
void WalkIni(const uint8_t* d, uint32_t n) { WalkTable<IniTableEntry>(d, n, ReadIniEntry, TouchIni); }
void WalkRegistry(const uint8_t* d, uint32_t n) { WalkTable<RegistryTableEntry>(d, n, ReadRegistryEntry, TouchRegistry); }
void WalkPatches(const uint8_t* d, uint32_t n) { WalkTable<PatchTableEntry>(d, n, ReadPatchEntry, TouchPatch); }

Bytes GoodSetupType() {
    SetupTypeContents c;
    c.texts = {{kTypeDisplayName, "Typical"}, {kTypeDefaultFolder, "C:\\Kiln"}};
    c.groups = {{0, {"a", "bc"}}, {6, {"Setup", "", "%s"}}, {10, {}}};
    return SetupTypeBody(c);
}
Bytes GoodFileList() {
    FileEntryContents a, b;
    b.flags = kEntryVersionTest | kEntryHasFileTimes;
    b.strings = {"x\\y.dll", "G", "S", "", "D", ""};
    return FileListBody({a, b});
}
Bytes GoodIni() { return IniTableBody({{1, "a.ini", "S", "K", "V"}, {0, "", "", "", ""}}); }
Bytes GoodRegistry() { return RegistryTableBody({{2, 1, "Software\\K", "", "v"}}); }
Bytes GoodPatches() { return PatchTableBody({{8, "f", "d", {}}, {kPatchFindByPattern, "g", "e", {1, 2, 3}}}); }
Bytes GoodTemplates() {
    DialogItemContents text{0x0082, "", "T", 1000, {}}, named{0, "Edit", "", 1004, {9}};
    std::vector<Bytes> t;
    for (int k = 0; k < kTemplateCount; ++k)
        t.push_back(DialogTemplateBytes({k % 2 == 1, k % 3 ? 0x40u : 0u, 0, "", "", "P", "F", {text, named}}));
    return DialogTemplateTableBody(t);
}
Bytes GoodPicture() { return PictureBody(3, 2, 8, 4); }
Bytes GoodDescription() { return BackgroundDescriptionBody(0, 1, "Arial"); }
Bytes GoodTitle() { return {'T', 0}; }

const Kind kKinds[] = {
    {ValidateSetupTypeRecord, WalkSetupType, GoodSetupType},
    {ValidateFileList, WalkFileList, GoodFileList},
    {ValidateIniTable, WalkIni, GoodIni},
    {ValidateRegistryTable, WalkRegistry, GoodRegistry},
    {ValidatePatchTable, WalkPatches, GoodPatches},
    {ValidateTemplates, WalkAllTemplates, GoodTemplates},
    {ValidatePicture, WalkPicture, GoodPicture},
    {ValidateBackgroundDescription, WalkDescription, GoodDescription},
    {ValidateBackgroundTitle, WalkTitle, GoodTitle},
};
constexpr size_t kKindCount = sizeof kKinds / sizeof kKinds[0];

// Edits to a good body, three bytes each: position (u16, wrapped to the
// body) and a byte to XOR in; a last single byte cuts that many bytes off.
Bytes EditedGoodBody(const Kind& kind, const uint8_t* edits, size_t n) {
    Bytes body = kind.good();
    for (; n >= 3; edits += 3, n -= 3) body[ReadU16(edits) % body.size()] ^= edits[2];
    if (n) body.resize(body.size() - edits[0] % (body.size() + 1));
    return body;
}

void CheckAndWalk(const Kind& kind, const Bytes& body) {
    size_t n = body.size();
    std::unique_ptr<uint8_t[]> copy(new uint8_t[n]);
    if (n) std::memcpy(copy.get(), body.data(), n);
    if (kind.validate(copy.get(), uint32_t(n))) kind.walk(copy.get(), uint32_t(n));
}

// --- Formatter --------------------------------------------------------------------

// Byte 0: capacity; byte 1: number or string, and the number's low byte;
// then the format, a zero, and the argument text.
void FuzzFormatter(const uint8_t* data, size_t size) {
    if (size < 2) return;
    size_t capacity = data[0];
    bool number = data[1] & 1;
    std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
    std::string format = rest.c_str();
    std::string argument = rest.size() > format.size() ? rest.substr(format.size() + 1) : "";
    uint32_t value = uint32_t(data[1]) * 0x01010101u ^ uint32_t(argument.size());
    auto run = [&](char* out, size_t cap) {
        return number ? FormatWithNumber(out, cap, format.c_str(), value)
                      : FormatWithString(out, cap, format.c_str(), argument.c_str());
    };
    std::unique_ptr<char[]> out(new char[capacity]);
    size_t length = run(out.get(), capacity);
    if (capacity == 0) {
        Require(length == 0);
        return;
    }
    Require(length < capacity && std::strlen(out.get()) == length);
    // A cut result is the start of the whole one.
    size_t whole_capacity = format.size() * 2 + argument.size() + 16;
    std::unique_ptr<char[]> whole(new char[whole_capacity]);
    size_t whole_length = run(whole.get(), whole_capacity);
    Require(whole_length < whole_capacity - 1 && length <= whole_length);
    Require(std::memcmp(out.get(), whole.get(), length) == 0);
    if (format.find('%') == std::string::npos) Require(std::string(whole.get()) == format);
}

}  // namespace

// The good bodies that edits start from must pass, or the edits test nothing.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (const Kind& kind : kKinds) {
        Bytes body = kind.good();
        Require(kind.validate(body.data(), uint32_t(body.size())));
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint8_t selector = data[0];
    ++data;
    --size;
    size_t pick = (selector & 0x0F) % (kKindCount + 1);
    if (pick == kKindCount) {
        FuzzFormatter(data, size);
        return 0;
    }
    const Kind& kind = kKinds[pick];
    CheckAndWalk(kind, selector & 0x80 ? EditedGoodBody(kind, data, size) : Bytes(data, data + size));
    return 0;
}
