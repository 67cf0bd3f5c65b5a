#include "package/package_validate.h"

#include <cstring>

#include "package/entry_tables.h"
#include "package/file_list.h"
#include "package/integrity.h"
#include "package/package_format.h"

// Positions are u32 offsets into a body of at most 4 GiB - 1 bytes; every
// test below is written as "room left >= need" so that nothing overflows.
namespace {

// Moves `at` past a text that must end before `end`.
bool SkipText(const uint8_t* data, uint32_t end, uint32_t* at) {
    if (*at >= end) return false;
    const void* zero = std::memchr(data + *at, 0, end - *at);
    if (!zero) return false;
    *at = uint32_t(static_cast<const uint8_t*>(zero) - data) + 1;
    return true;
}

bool SkipTexts(const uint8_t* data, uint32_t end, uint32_t* at, int count) {
    for (int k = 0; k < count; ++k)
        if (!SkipText(data, end, at)) return false;
    return true;
}

// --- Setup type record -----------------------------------------------------

constexpr uint32_t kTypeTextFields[] = {kTypeUninstallKey, kTypeDisplayName, kTypeDefaultFolder,
                                        kTypeRegistryKey,  kTypeRegistryValue, kTypeIniFile,
                                        kTypeIniSection,   kTypeIniKey};

bool StringGroupIsSound(const uint8_t* data, uint32_t size, uint32_t at) {
    if (at < kTypeFixedSize || at >= size || size - at < 2) return false;
    uint16_t count = ReadU16(data + at);
    at += 2;
    for (uint32_t k = 0; k < count; ++k)
        if (!SkipText(data, size, &at)) return false;
    return true;
}

// --- Entry tables ------------------------------------------------------------

struct TableLayout {
    uint32_t fixed_size;  // bytes before the texts
    int text_count;
    bool has_pattern;  // a pattern of the length in the fixed part follows the texts
};

constexpr TableLayout kIniLayout = {kIniEntryFixedSize, kIniEntryTextCount, false};
constexpr TableLayout kRegistryLayout = {kRegistryEntryFixedSize, kRegistryEntryTextCount, false};
constexpr TableLayout kPatchLayout = {kPatchEntryFixedSize, kPatchEntryTextCount, true};

bool EntryTableIsSound(const uint8_t* data, uint32_t size, const TableLayout& layout) {
    if (!data || size < kEntryTableHeaderSize) return false;
    uint32_t count = EntryTableCount(data);
    uint32_t at = kEntryTableHeaderSize;
    for (uint32_t n = 0; n < count; ++n) {
        if (size - at < layout.fixed_size) return false;
        uint32_t pattern = layout.has_pattern ? ReadU32(data + at + kPatchEntryPatternLength) : 0;
        at += layout.fixed_size;
        if (!SkipTexts(data, size, &at, layout.text_count)) return false;
        if (pattern > kPatchMaxPattern || size - at < pattern) return false;
        at += pattern;
    }
    return true;
}

// --- Dialog templates ----------------------------------------------------------

// Layout of in-memory dialog templates as the dialog manager reads them.
constexpr uint32_t kDialogHeaderSize = 18;    // DLGTEMPLATE
constexpr uint32_t kDialogExHeaderSize = 26;  // DLGTEMPLATEEX
constexpr uint32_t kDialogStyle = 0, kDialogExStyle = 12;
constexpr uint32_t kDialogItemCount = 8, kDialogExItemCount = 16;
constexpr uint32_t kItemHeaderSize = 18, kItemExHeaderSize = 24;
constexpr uint32_t kFontSize = 2, kFontExSize = 6;  // point size; EX adds weight, italic, charset
constexpr uint32_t kStyleSetFont = 0x40;           // DS_SETFONT

// Reads forward through one template; any read past `end` fails it.
struct TemplateReader {
    const uint8_t* data;
    uint32_t at, end;
    bool ok;

    bool Has(uint32_t n) const { return ok && at <= end && end - at >= n; }
    void Skip(uint32_t n) {
        if (Has(n)) at += n;
        else ok = false;
    }
    uint16_t Word() const { return Has(2) ? ReadU16(data + at) : 0; }
    void SkipWideText() {
        for (;;) {
            if (!Has(2)) {
                ok = false;
                return;
            }
            uint16_t c = ReadU16(data + at);
            at += 2;
            if (!c) return;
        }
    }
    // A menu, class or item title: 0 for none, 0xFFFF and an ordinal, or a text.
    void SkipNameOrOrdinal() {
        if (!Has(2)) ok = false;
        else if (Word() == 0) at += 2;
        else if (Word() == 0xFFFF) Skip(4);
        else SkipWideText();
    }
    // Items start on 4-byte boundaries counted from the template's start.
    void AlignItem(uint32_t start) { Skip((4 - (at - start) % 4) % 4); }
};

// Item identifiers sit after the item's style words and rectangle.
constexpr uint32_t kItemId = 16, kItemExId = 20;

// Walks one template; with `ids`, records the identifier of each item (up
// to capacity) and the number of items in *count.
bool DialogTemplateIsSound(const uint8_t* data, uint32_t start, uint32_t end, uint16_t* ids = nullptr,
                           uint32_t capacity = 0, uint32_t* count = nullptr) {
    TemplateReader r = {data, start, end, true};
    bool ex = r.Has(4) && ReadU16(data + start) == 1 && ReadU16(data + start + 2) == 0xFFFF;
    if (!r.Has(ex ? kDialogExHeaderSize : kDialogHeaderSize)) return false;
    uint32_t style = ReadU32(data + start + (ex ? kDialogExStyle : kDialogStyle));
    uint16_t items = ReadU16(data + start + (ex ? kDialogExItemCount : kDialogItemCount));
    r.Skip(ex ? kDialogExHeaderSize : kDialogHeaderSize);
    r.SkipNameOrOrdinal();  // menu
    r.SkipNameOrOrdinal();  // class
    r.SkipWideText();       // title
    if (style & kStyleSetFont) {
        r.Skip(ex ? kFontExSize : kFontSize);
        r.SkipWideText();  // typeface
    }
    if (count) *count = items;
    for (uint32_t k = 0; k < items && r.ok; ++k) {
        r.AlignItem(start);
        if (ids && k < capacity && r.Has(ex ? kItemExHeaderSize : kItemHeaderSize))
            ids[k] = ReadU16(data + r.at + (ex ? kItemExId : kItemId));
        r.Skip(ex ? kItemExHeaderSize : kItemHeaderSize);
        r.SkipNameOrOrdinal();  // class
        r.SkipNameOrOrdinal();  // title
        // Creation data: a size word, then that many bytes, rounded up to a whole word.
        uint32_t extra = r.Word();
        r.Skip(2);
        r.Skip(extra + (extra & 1));
    }
    return r.ok;
}

// --- Pictures -------------------------------------------------------------------

bool BitCountIsDrawable(uint16_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

uint32_t ReadDialogControlIds(const uint8_t* data, uint32_t size, uint16_t* ids, uint32_t capacity) {
    uint32_t count = 0;
    if (!data || !DialogTemplateIsSound(data, 0, size, ids, capacity, &count)) return kUnsoundTemplate;
    return count;
}

bool ValidateSetupTypeRecord(const uint8_t* data, uint32_t size) {
    if (!data || size < kTypeFixedSize) return false;
    for (uint32_t field : kTypeTextFields) {
        uint32_t at = ReadU32(data + field);
        if (at && (at < kTypeFixedSize || !SkipText(data, size, &at))) return false;
    }
    for (int g = 0; g < kStringGroupCount; ++g) {
        uint32_t at = ReadU32(data + kTypeStringGroups + 4 * g);
        if (at && !StringGroupIsSound(data, size, at)) return false;
    }
    return true;
}

bool ValidateFileList(const uint8_t* data, uint32_t size) {
    if (!data || size < kFileListHeaderSize) return false;
    uint32_t count = ReadU32(data);
    uint32_t at = kFileListHeaderSize;
    // Each entry takes at least kEntryFixedSize bytes, so a count too big
    // for the body ends the loop early.
    for (uint32_t n = 0; n < count; ++n) {
        if (size - at < kEntryFixedSize) return false;
        const uint8_t* entry = data + at;
        uint32_t entry_size = ReadU16(entry + kEntrySize);
        if (entry_size > size - at) return false;
        // The texts must end inside the entry; a size too small to reach
        // past the fixed part and the blocks leaves no room for them.
        uint32_t text = EntryStringsOffset(entry[kEntryFlags]);
        if (!SkipTexts(entry, entry_size, &text, kEntryStringCount)) return false;
        at += entry_size;
    }
    return true;
}

bool ValidateIniTable(const uint8_t* data, uint32_t size) { return EntryTableIsSound(data, size, kIniLayout); }

bool ValidateRegistryTable(const uint8_t* data, uint32_t size) {
    return EntryTableIsSound(data, size, kRegistryLayout);
}

bool ValidatePatchTable(const uint8_t* data, uint32_t size) { return EntryTableIsSound(data, size, kPatchLayout); }

bool ValidateDialogTemplateTable(const uint8_t* data, uint32_t size, int required_count) {
    if (!data || required_count < 0 || uint32_t(required_count) > size / 4) return false;
    uint32_t array_end = 4 * uint32_t(required_count);
    for (int k = 0; k < required_count; ++k) {
        uint32_t at = ReadU32(data + 4 * k);
        if (at < array_end || at >= size || size - at > kTemplateCopySize) return false;
        if (!DialogTemplateIsSound(data, at, size)) return false;
    }
    return true;
}

bool ValidatePicture(const uint8_t* data, uint32_t size) {
    if (!data || size < kBitmapFileHeaderSize + kBitmapInfoHeaderSize) return false;
    const uint8_t* info = data + kBitmapFileHeaderSize;
    int32_t width = int32_t(ReadU32(info + kBitmapWidth));
    int32_t height = int32_t(ReadU32(info + kBitmapHeight));
    uint16_t bits = ReadU16(info + kBitmapBitCount);
    uint32_t colours = ReadU32(info + kBitmapColoursUsed);
    if (ReadU32(info + kBitmapHeaderSize) != kBitmapInfoHeaderSize || width <= 0 || height <= 0 ||
        ReadU16(info + kBitmapPlanes) != 1 || !BitCountIsDrawable(bits) || ReadU32(info + kBitmapCompression) != 0)
        return false;
    if (bits <= 8 && colours > (1u << bits)) return false;
    // In 64 bits nothing wraps: the table is below 2^34 bytes, a row below
    // 2^34 and a row times a height below 2^31 below 2^64.
    uint64_t room = size - kBitmapFileHeaderSize - kBitmapInfoHeaderSize;
    uint64_t table = 4 * uint64_t(ColourTableEntries(bits, colours));
    if (table > room) return false;
    uint64_t row = (uint64_t(width) * bits + 31) / 32 * 4;  // rows are padded to 4 bytes
    return row * uint64_t(height) <= room - table;
}

bool ValidateBackgroundDescription(const uint8_t* data, uint32_t size) {
    return data && size >= kDescriptionSize && std::memchr(data + kDescriptionFaceName, 0, kFaceNameSize);
}

bool ValidateBackgroundTitle(const uint8_t* data, uint32_t size) {
    return data && std::memchr(data, 0, size);
}

bool ValidateUninstallValues(const uint8_t* data, uint32_t size) {
    uint32_t at = kUninstallValuesFixedSize;
    return data && size >= at && SkipTexts(data, size, &at, kUninstallValuesTextCount);
}

bool ValidateRecordBody(uint16_t tag, const uint8_t* data, uint32_t size) {
    switch (tag) {
    case kTagSetupType: return ValidateSetupTypeRecord(data, size);
    case kTagFileList: return ValidateFileList(data, size);
    case kTagIniEntries: return ValidateIniTable(data, size);
    case kTagRegistryEntries: return ValidateRegistryTable(data, size);
    case kTagFilePatches: return ValidatePatchTable(data, size);
    case kTagUninstallValues: return ValidateUninstallValues(data, size);
    case kTagDialogTemplates: return ValidateDialogTemplateTable(data, size, kTemplateCount);
    case kTagBackgroundTitle: return ValidateBackgroundTitle(data, size);
    case kTagBackgroundDescription: return ValidateBackgroundDescription(data, size);
    case kTagSidePicture:
    case kTagBackgroundPicture: return ValidatePicture(data, size);
    case kTagIntegrity: return size == kIntegrityBodySize;
    default: return true;
    }
}

const uint8_t* FindDeltaBase(const uint8_t* const* lists, int type_count, const uint8_t* delta) {
    uint16_t type = ReadU16(delta + kEntrySetupType);
    if (type >= type_count || !lists[type]) return nullptr;
    uint32_t ordinal = ReadU32(delta + kEntryBaseOrdinal);
    if (ordinal >= ReadU32(lists[type])) return nullptr;
    const uint8_t* base = lists[type] + kFileListHeaderSize;
    while (ordinal--) base = NextEntry(base);
    return base;
}

bool DeltaBasesAreSound(const uint8_t* const* lists, int type_count) {
    for (int k = 0; k < type_count; ++k) {
        if (!lists[k]) continue;
        const uint8_t* e = lists[k] + kFileListHeaderSize;
        for (uint32_t i = 0, n = ReadU32(lists[k]); i < n; ++i, e = NextEntry(e)) {
            if (!(e[kEntryFlags] & kEntryIsDelta)) continue;
            const uint8_t* base = FindDeltaBase(lists, type_count, e);
            if (!base || (base[kEntryFlags] & kEntryIsDelta)) return false;
        }
    }
    return true;
}
