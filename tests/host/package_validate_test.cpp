// Record bodies from a setup file are checked against their own length before
// anything reads them. Good bodies pass and can be walked; every way of being
// cut short, pointing outside, or counting more than is there fails.
#include "package/package_validate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "builder/assembly/record_bodies.h"
#include "package/entry_tables.h"
#include "package/file_list.h"
#include "package/string_groups.h"
#include "tests/common/record_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Validator = std::function<bool(const uint8_t*, uint32_t)>;

// Runs a check on an exact-size heap copy of the first n bytes, so that a
// sanitizer build sees any read past the end.
bool CheckPrefix(const Validator& validate, const Bytes& body, size_t n) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[n]);
    if (n) std::memcpy(copy.get(), body.data(), n);
    return validate(copy.get(), uint32_t(n));
}
bool Check(const Validator& validate, const Bytes& body) { return CheckPrefix(validate, body, body.size()); }

// --- Good bodies of every kind ------------------------------------------------

SetupTypeContents GoodTypeContents() {
    SetupTypeContents c;
    c.options = kOptionFolderEditable | kOptionRememberInRegistry;
    c.registry_root = 2;
    c.texts = {{kTypeDisplayName, "Typical"},
               {kTypeDefaultFolder, "#Program Files#\\Kiln"},
               {kTypeRegistryKey, "Software\\Kiln"},
               {kTypeRegistryValue, ""}};
    c.groups = {{0, {"Welcome", "Line one", ""}},
                {6, {"Kiln Setup", "", "Disk %d", "Cannot write %s"}},
                {9, {}},
                {10, {"last"}}};
    return c;
}

std::vector<FileEntryContents> GoodEntries() {
    std::vector<FileEntryContents> e(4);
    e[0].strings = {"bin\\kiln.exe", "Kiln", "Kiln", "/run", "Kiln", ""};
    e[1].flags = kEntryVersionTest;
    e[1].version_ms = 0x00010002;
    e[1].strings = {"readme.txt", "", "", "", "", ""};
    e[2].flags = kEntryHasFileTimes;
    e[3].flags = kEntryLanguageTest | kEntryHasFileTimes | kEntryIsDelta;
    e[3].base_ordinal = 1;
    e[3].strings = {"lib\\core.dll", "Kiln", "", "", "", "x"};
    return e;
}

Bytes GoodIniTable() {
    return IniTableBody({{kKeepExistingValue, "win.ini", "Kiln", "Path", "#InstallDir#"}, {0, "kiln.ini", "", "", ""}});
}
Bytes GoodRegistryTable() {
    return RegistryTableBody({{2, 0, "Software\\Kiln", "", "#InstallDir#"}, {9, kKeepExistingValue, "Software\\K", "V", ""}});
}
Bytes GoodPatchTable() {
    return PatchTableBody({{16, "bin\\kiln.exe", "#InstallDir#", {}},
                       {kPatchFindByPattern, "kiln.cfg", "dir=", {'D', 'I', 'R', '=', 0, 0xFF}},
                       {kPatchFindByPattern, "x", "", {}}});
}

std::vector<Bytes> GoodTemplates() {
    DialogItemContents next{0x0080, "", "&Next >", 1, {}};
    DialogItemContents text{0x0082, "", "Welcome", 1000, {}};
    DialogItemContents named{0, "msctls_progress32", "", 1009, {1, 2, 3}};
    DialogItemContents even{0, "Edit", "C:\\", 1004, {4, 0, 0, 0}};
    std::vector<Bytes> t;
    t.push_back(DialogTemplateBytes({false, 0x40, 0, "", "", "Setup", "MS Sans Serif", {next, text}}));
    t.push_back(DialogTemplateBytes({false, 0, 7, "", "", "Setup", "", {next}}));
    t.push_back(DialogTemplateBytes({false, 0, 0, "MAINMENU", "KilnDialog", "", "", {even, text}}));
    t.push_back(DialogTemplateBytes({false, 0x40, 0, "", "", "", "Tahoma", {}}));
    t.push_back(DialogTemplateBytes({false, 0, 0, "", "", "Progress", "", {named, text, named}}));
    t.push_back(DialogTemplateBytes({true, 0x40, 0, "", "", "Extended", "MS Shell Dlg", {next, named}}));
    t.push_back(DialogTemplateBytes({true, 0, 3, "", "Cls", "", "", {}}));
    t.push_back(DialogTemplateBytes({false, 0, 0, "", "", "Browse", "", {text}}));
    t.push_back(DialogTemplateBytes({true, 0, 0, "", "", "Types", "", {text, named, even}}));
    return t;
}

struct GoodBody {
    const char* name;
    uint16_t tag;
    Validator validate;
    Bytes body;
};

std::vector<GoodBody> GoodBodies() {
    auto templates = [](const uint8_t* d, uint32_t n) { return ValidateDialogTemplateTable(d, n, kTemplateCount); };
    return {
        {"setup type record", kTagSetupType, ValidateSetupTypeRecord, SetupTypeBody(GoodTypeContents())},
        {"file list", kTagFileList, ValidateFileList, FileListBody(GoodEntries())},
        {"INI table", kTagIniEntries, ValidateIniTable, GoodIniTable()},
        {"registry table", kTagRegistryEntries, ValidateRegistryTable, GoodRegistryTable()},
        {"patch table", kTagFilePatches, ValidatePatchTable, GoodPatchTable()},
        {"dialog templates", kTagDialogTemplates, templates, DialogTemplateTableBody(GoodTemplates())},
        {"8-bit picture", kTagBackgroundPicture, ValidatePicture, PictureBody(5, 3, 8)},
        {"8-bit picture, 16 colours", kTagSidePicture, ValidatePicture, PictureBody(2, 2, 8, 16)},
        {"1-bit picture", kTagSidePicture, ValidatePicture, PictureBody(33, 2, 1)},
        {"4-bit picture", kTagSidePicture, ValidatePicture, PictureBody(3, 1, 4)},
        {"16-bit picture", kTagSidePicture, ValidatePicture, PictureBody(3, 2, 16)},
        {"24-bit picture", kTagBackgroundPicture, ValidatePicture, PictureBody(3, 2, 24)},
        {"32-bit picture with colours", kTagBackgroundPicture, ValidatePicture, PictureBody(1, 1, 32, 3)},
        {"background description", kTagBackgroundDescription, ValidateBackgroundDescription,
         BackgroundDescriptionBody(0, 0xFFFFFF, "Times New Roman")},
        {"background title", kTagBackgroundTitle, ValidateBackgroundTitle, Bytes{'K', 'i', 'l', 'n', 0}},
        {"uninstall entry values", kTagUninstallValues, ValidateUninstallValues,
         UninstallValuesBody({"1.0", "Kiln", "", true, false, false, true, false})},
    };
}

TEST(PackageValidate, GoodBodiesPassDirectlyAndByTag) {
    for (const GoodBody& g : GoodBodies()) {
        EXPECT_TRUE(Check(g.validate, g.body)) << g.name;
        EXPECT_TRUE(Check([&](const uint8_t* d, uint32_t n) { return ValidateRecordBody(g.tag, d, n); }, g.body))
            << g.name;
    }
}

// Every good body is laid out with nothing after its last item, so every
// shorter prefix has lost a terminator, a field or a whole item.
TEST(PackageValidate, EveryShorterBodyFails) {
    for (const GoodBody& g : GoodBodies()) {
        auto by_tag = [&](const uint8_t* d, uint32_t n) { return ValidateRecordBody(g.tag, d, n); };
        for (size_t n = 0; n < g.body.size(); ++n) {
            ASSERT_FALSE(CheckPrefix(g.validate, g.body, n)) << g.name << " cut to " << n;
            ASSERT_FALSE(CheckPrefix(by_tag, g.body, n)) << g.name << " cut to " << n << ", by tag";
        }
    }
}

TEST(PackageValidate, NullBodiesFail) {
    for (const GoodBody& g : GoodBodies()) EXPECT_FALSE(g.validate(nullptr, 0)) << g.name;
}

TEST(PackageValidate, RecordsWithoutOffsetsAcceptAnyBody) {
    Bytes junk = {0xFF, 0xFF, 0xFF};
    EXPECT_TRUE(ValidateRecordBody(kTagUninstaller, junk.data(), uint32_t(junk.size())));
    EXPECT_TRUE(ValidateRecordBody(0x1238, junk.data(), uint32_t(junk.size())));
    EXPECT_FALSE(ValidateRecordBody(kTagFileList, junk.data(), uint32_t(junk.size())));
}

// --- Setup type record ----------------------------------------------------------

TEST(SetupTypeRecord, TextsOfAGoodRecordAreFoundByGroupAndIndex) {
    Bytes record = SetupTypeBody(GoodTypeContents());
    ASSERT_TRUE(Check(ValidateSetupTypeRecord, record));
    const uint8_t* r = record.data();
    struct Lookup {
        int group, index;
        const char* text;
    } lookups[] = {
        {0, 0, "Welcome"}, {0, 1, "Line one"}, {0, 2, ""},  {0, 3, ""},           // index equal to the count
        {6, 2, "Disk %d"}, {6, 3, "Cannot write %s"},       {6, 65536 + 2, "Disk %d"},  // index taken as u16
        {6, -1, ""},       {9, 0, ""},           {10, 0, "last"}, {1, 0, ""},     // absent group
        {11, 0, ""},       {-1, 0, ""},
    };
    for (const Lookup& l : lookups) EXPECT_STREQ(GroupText(r, l.group, l.index), l.text) << l.group << "," << l.index;
    EXPECT_STREQ(TypeText(r, kTypeDisplayName), "Typical");
    EXPECT_STREQ(TypeText(r, kTypeRegistryValue), "");
    EXPECT_EQ(TypeText(r, kTypeIniFile), nullptr);
    EXPECT_EQ(ReadU32(r + kTypeRegistryRoot), 2u);
}

TEST(SetupTypeRecord, RecordWithoutOffsetsHasOnlyEmptyTexts) {
    Bytes record(kTypeFixedSize, 0);
    ASSERT_TRUE(Check(ValidateSetupTypeRecord, record));
    for (int g = 0; g < kStringGroupCount; ++g) EXPECT_STREQ(GroupText(record.data(), g, 0), "");
    EXPECT_EQ(TypeText(record.data(), kTypeDefaultFolder), nullptr);
    EXPECT_STREQ(GroupText(nullptr, 6, 0), "");
    EXPECT_EQ(TypeText(nullptr, kTypeDefaultFolder), nullptr);
}

TEST(SetupTypeRecord, OffsetsAndCountsOutsideTheRecordFail) {
    const Bytes good = SetupTypeBody(GoodTypeContents());
    const uint32_t size = uint32_t(good.size());
    const uint32_t group10 = ReadU32(good.data() + kTypeStringGroups + 4 * 10);  // the last item
    const uint32_t group0 = ReadU32(good.data() + kTypeStringGroups);
    struct Case {
        const char* name;
        uint32_t at;  // where the u32 (or, with is_count, the u16) goes
        uint32_t value;
        bool is_count;
    } cases[] = {
        {"text at the end", kTypeDisplayName, size, false},
        {"text far past the end", kTypeDisplayName, 0xFFFFFFFF, false},
        {"text inside the fixed part", kTypeIniKey, 10, false},
        {"group count half inside", kTypeStringGroups + 4 * 6, size - 1, false},
        {"group at the end", kTypeStringGroups + 4 * 10, size, false},
        {"group far past the end", kTypeStringGroups + 4 * 6, 0xFFFFFFFE, false},
        {"group inside the fixed part", kTypeStringGroups + 4 * 3, 2, false},  // the reserved u16 reads as count 0
        {"group counts one text too many", group10, 2, true},
        {"group counts 65535 texts", group0, 0xFFFF, true},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        if (c.is_count) WriteU16(&bad[c.at], uint16_t(c.value));
        else WriteU32(&bad[c.at], c.value);
        EXPECT_FALSE(Check(ValidateSetupTypeRecord, bad)) << c.name;
    }
}

TEST(SetupTypeRecord, TextWithoutTerminatorFails) {
    SetupTypeContents c;
    c.texts = {{kTypeUninstallKey, "Kiln"}, {kTypeDisplayName, "Typical"}};
    Bytes record = SetupTypeBody(c);
    ASSERT_TRUE(Check(ValidateSetupTypeRecord, record));
    record.back() = 'x';
    EXPECT_FALSE(Check(ValidateSetupTypeRecord, record));
}

// --- File list ---------------------------------------------------------------------

TEST(FileList, GoodListIsWalkedEntryByEntryToItsEnd) {
    std::vector<FileEntryContents> entries = GoodEntries();
    Bytes list = FileListBody(entries);
    ASSERT_TRUE(Check(ValidateFileList, list));
    ASSERT_EQ(ReadU32(list.data()), entries.size());
    const uint8_t* entry = list.data() + kFileListHeaderSize;
    for (const FileEntryContents& e : entries) {
        EXPECT_EQ(entry[kEntryFlags], e.flags);
        for (int k = 0; k < kEntryStringCount; ++k) EXPECT_STREQ(EntryString(entry, k), e.strings[k].c_str());
        entry = NextEntry(entry);
    }
    EXPECT_EQ(entry, list.data() + list.size());
}

TEST(FileList, EmptyListPasses) {
    EXPECT_TRUE(Check(ValidateFileList, FileListBody({})));
    EXPECT_TRUE(Check(ValidateFileList, Bytes{0, 0, 0, 0, 0xEE}));  // bytes after the entries are not read
}

TEST(FileList, BadSizesAndCountsFail) {
    const std::vector<FileEntryContents> entries = GoodEntries();
    const Bytes good = FileListBody(entries);
    const uint32_t first = kFileListHeaderSize;
    const uint16_t first_size = ReadU16(good.data() + first);
    // The last entry starts where the walk of the others ends.
    uint32_t last_at = first;
    for (size_t k = 0; k + 1 < entries.size(); ++k) last_at += ReadU16(good.data() + last_at);
    const uint16_t last_size = ReadU16(good.data() + last_at);

    struct Case {
        const char* name;
        std::function<void(Bytes&)> spoil;
    } cases[] = {
        {"entry size 0", [&](Bytes& b) { WriteU16(&b[first], 0); }},
        {"entry size inside the fixed part", [&](Bytes& b) { WriteU16(&b[first], 10); }},
        {"entry size without room for six texts",
         [&](Bytes& b) { WriteU16(&b[first], uint16_t(kEntryFixedSize + kEntryStringCount - 1)); }},
        {"last text ends outside its entry", [&](Bytes& b) { WriteU16(&b[last_at], uint16_t(last_size - 1)); }},
        {"entry runs past the body", [&](Bytes& b) { WriteU16(&b[last_at], uint16_t(last_size + 1)); }},
        {"entry size 65535", [&](Bytes& b) { WriteU16(&b[first], 0xFFFF); }},
        {"entry size reaching into the next entry", [&](Bytes& b) { WriteU16(&b[first], uint16_t(first_size + 3)); }},
        {"count one too many", [&](Bytes& b) { WriteU32(&b[0], uint32_t(entries.size() + 1)); }},
        {"count 0xFFFFFFFF", [&](Bytes& b) { WriteU32(&b[0], 0xFFFFFFFF); }},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        c.spoil(bad);
        EXPECT_FALSE(Check(ValidateFileList, bad)) << c.name;
    }
}

TEST(FileList, FlagsPromisingBlocksTheEntryLacksFail) {
    FileEntryContents plain;
    plain.strings = {"a", "", "", "", "", ""};
    for (uint8_t flags : {kEntryVersionTest, kEntryLanguageTest, kEntryHasFileTimes}) {
        Bytes list = FileListBody({plain});
        list[kFileListHeaderSize + kEntryFlags] = flags;
        EXPECT_FALSE(Check(ValidateFileList, list)) << int(flags);
    }
}

// --- INI, registry and patch tables ----------------------------------------------------

TEST(EntryTables, GoodTablesAreReadEntryByEntry) {
    Bytes ini = GoodIniTable(), reg = GoodRegistryTable(), patch = GoodPatchTable();
    ASSERT_TRUE(Check(ValidateIniTable, ini));
    ASSERT_TRUE(Check(ValidateRegistryTable, reg));
    ASSERT_TRUE(Check(ValidatePatchTable, patch));

    IniTableEntry i;
    const uint8_t* at = ReadIniEntry(FirstTableEntry(ini.data()), &i);
    EXPECT_EQ(i.flags, kKeepExistingValue);
    EXPECT_STREQ(i.value, "#InstallDir#");
    at = ReadIniEntry(at, &i);
    EXPECT_STREQ(i.file, "kiln.ini");
    EXPECT_EQ(at, ini.data() + ini.size());

    RegistryTableEntry r;
    at = ReadRegistryEntry(FirstTableEntry(reg.data()), &r);
    EXPECT_EQ(r.root, 2u);
    EXPECT_STREQ(r.value_name, "");
    at = ReadRegistryEntry(at, &r);
    EXPECT_EQ(r.root, 9u);
    EXPECT_EQ(r.flags, kKeepExistingValue);
    EXPECT_EQ(at, reg.data() + reg.size());

    PatchTableEntry p;
    at = ReadPatchEntry(FirstTableEntry(patch.data()), &p);
    EXPECT_EQ(p.offset, 16u);
    at = ReadPatchEntry(at, &p);
    EXPECT_EQ(p.offset, kPatchFindByPattern);
    ASSERT_EQ(p.pattern_length, 6u);
    EXPECT_EQ(std::memcmp(p.pattern, "DIR=\0\xFF", 6), 0);
    at = ReadPatchEntry(at, &p);
    EXPECT_EQ(p.pattern_length, 0u);
    EXPECT_EQ(at, patch.data() + patch.size());
}

TEST(EntryTables, EmptyTablesPass) {
    for (auto validate : {ValidateIniTable, ValidateRegistryTable, ValidatePatchTable})
        EXPECT_TRUE(Check(validate, Bytes{0, 0}));
}

TEST(EntryTables, CountsBeyondTheEntriesFail) {
    struct Case {
        const char* name;
        bool (*validate)(const uint8_t*, uint32_t);
        Bytes body;
    } cases[] = {
        {"INI", ValidateIniTable, GoodIniTable()},
        {"registry", ValidateRegistryTable, GoodRegistryTable()},
        {"patch", ValidatePatchTable, GoodPatchTable()},
    };
    for (Case& c : cases) {
        for (uint16_t count : {uint16_t(ReadU16(c.body.data()) + 1), uint16_t(0xFFFF)}) {
            WriteU16(c.body.data(), count);
            EXPECT_FALSE(Check(c.validate, c.body)) << c.name << " " << count;
        }
    }
}

TEST(EntryTables, PatternLengthsPastTheBodyOrTheWindowFail) {
    // One entry whose pattern length field sits at a known place.
    const uint32_t length_at = kEntryTableHeaderSize + kPatchEntryPatternLength;
    Bytes one = PatchTableBody({{kPatchFindByPattern, "f", "d", {1, 2, 3}}});
    for (uint32_t length : {4u, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFDu}) {
        Bytes bad = one;
        WriteU32(&bad[length_at], length);
        EXPECT_FALSE(Check(ValidatePatchTable, bad)) << length;
    }
    Bytes longest = PatchTableBody({{kPatchFindByPattern, "f", "d", Bytes(kPatchMaxPattern, 7)}});
    EXPECT_TRUE(Check(ValidatePatchTable, longest));
    Bytes too_long = PatchTableBody({{kPatchFindByPattern, "f", "d", Bytes(kPatchMaxPattern + 1, 7)}});
    EXPECT_FALSE(Check(ValidatePatchTable, too_long));
}

// --- Dialog templates -------------------------------------------------------------------

bool ValidateTemplates(const Bytes& table) {
    return Check([](const uint8_t* d, uint32_t n) { return ValidateDialogTemplateTable(d, n, kTemplateCount); },
                 table);
}

// Each template alone in a table: read to its very last byte, so cutting
// one byte off fails it. The variants end in each part a template can end
// with: title, font, item title text or ordinal, creation data odd or even.
TEST(DialogTemplates, EveryTemplateIsReadToItsLastByte) {
    DialogItemContents icon{0x0082, "", "", 1011, {}, 3};
    DialogItemContents odd_data{0x0080, "", "", 1, {1, 2, 3}, 5};
    std::vector<Bytes> variants = GoodTemplates();
    for (bool extended : {false, true}) {
        variants.push_back(DialogTemplateBytes({extended, 0x40, 0, "", "", "", "Tahoma", {}}));
        variants.push_back(DialogTemplateBytes({extended, 0, 0x10, "", "", "", "", {}}));
        variants.push_back(DialogTemplateBytes({extended, 0x40, 2, "M", "C", "T", "F", {icon}}));
        variants.push_back(DialogTemplateBytes({extended, 0, 0, "", "", "", "", {icon, odd_data}}));
    }
    auto one = [](const uint8_t* d, uint32_t n) { return ValidateDialogTemplateTable(d, n, 1); };
    for (size_t v = 0; v < variants.size(); ++v) {
        Bytes table = DialogTemplateTableBody({variants[v]});
        ASSERT_TRUE(Check(one, table)) << "variant " << v;
        for (size_t n = 0; n < table.size(); ++n) ASSERT_FALSE(CheckPrefix(one, table, n)) << "variant " << v << " cut to " << n;
    }
}

TEST(DialogTemplates, OffsetsOutsideTheBodyOrInsideTheArrayFail) {
    const Bytes good = DialogTemplateTableBody(GoodTemplates());
    const uint32_t size = uint32_t(good.size());
    for (uint32_t offset : {0u, 4u * 8, size, size - 1, size - 17, 0xFFFFFFFFu, 0xFFFFFFF0u}) {
        Bytes bad = good;
        WriteU32(&bad[4 * 8], offset);
        EXPECT_FALSE(ValidateTemplates(bad)) << offset;
    }
    // Fewer offsets than templates required.
    EXPECT_FALSE(ValidateDialogTemplateTable(good.data(), 4 * 8, kTemplateCount));
    EXPECT_FALSE(ValidateDialogTemplateTable(good.data(), size, -1));
    EXPECT_TRUE(ValidateDialogTemplateTable(good.data(), size, 8));  // the last template is then not needed
}

TEST(DialogTemplates, ItemCountsBeyondTheItemsFail) {
    // Last template: plain or extended, its item count one too high or 65535.
    for (bool extended : {false, true}) {
        std::vector<Bytes> templates = GoodTemplates();
        DialogItemContents item{0x0081, "", "Item", 1021, {}};
        templates[8] = DialogTemplateBytes({extended, 0, 0, "", "", "Types", "", {item, item}});
        Bytes table = DialogTemplateTableBody(templates);
        ASSERT_TRUE(ValidateTemplates(table));
        const uint32_t count_at = ReadU32(table.data() + 4 * 8) + (extended ? 16 : 8);
        for (uint16_t count : {3, 0xFFFF}) {
            Bytes bad = table;
            WriteU16(&bad[count_at], count);
            EXPECT_FALSE(ValidateTemplates(bad)) << extended << " " << count;
        }
    }
}

TEST(DialogTemplates, TableMustEndWithinTheCopyBlockOfEveryTemplate) {
    // Templates 0-8 then filler: the copy of template 0 takes everything from
    // its offset to the end of the table and must fit the copy block.
    Bytes table = DialogTemplateTableBody(GoodTemplates());
    const uint32_t first = ReadU32(table.data());
    table.resize(first + kTemplateCopySize, 0);
    EXPECT_TRUE(ValidateTemplates(table));
    table.push_back(0);
    EXPECT_FALSE(ValidateTemplates(table));
}

// --- Pictures, background description and title -----------------------------------------

TEST(Picture, HeadersThatCannotBeDrawnOrThatOverrunFail) {
    constexpr uint32_t h = kBitmapFileHeaderSize;
    struct Case {
        const char* name;
        uint16_t bits;  // of the picture spoiled
        uint32_t at;
        uint32_t value;
        bool is_u16;
    } cases[] = {
        {"larger info header", 8, h + kBitmapHeaderSize, 108, false},
        {"width 0", 8, h + kBitmapWidth, 0, false},
        {"height 0", 8, h + kBitmapHeight, 0, false},
        {"top-down", 8, h + kBitmapHeight, uint32_t(-2), false},
        {"negative width", 24, h + kBitmapWidth, uint32_t(-3), false},
        {"two planes", 8, h + kBitmapPlanes, 2, true},
        {"2 bits per pixel", 8, h + kBitmapBitCount, 2, true},
        {"0 bits per pixel", 24, h + kBitmapBitCount, 0, true},
        {"run-length compressed", 8, h + kBitmapCompression, 1, false},
        {"bit fields", 24, h + kBitmapCompression, 3, false},
        {"colour table wraps 32 bits", 24, h + kBitmapColoursUsed, 0x40000000, false},
        {"colour table 0xFFFFFFFF entries", 24, h + kBitmapColoursUsed, 0xFFFFFFFF, false},
        {"row wraps 32 bits", 32, h + kBitmapWidth, 0x40000000, false},
        {"widest row", 32, h + kBitmapWidth, 0x7FFFFFFF, false},
        {"tallest picture", 24, h + kBitmapHeight, 0x7FFFFFFF, false},
        {"one row too many", 24, h + kBitmapHeight, 3, false},
    };
    for (const Case& c : cases) {
        Bytes bad = PictureBody(3, 2, c.bits);
        ASSERT_TRUE(Check(ValidatePicture, bad));
        if (c.is_u16) WriteU16(&bad[c.at], uint16_t(c.value));
        else WriteU32(&bad[c.at], c.value);
        EXPECT_FALSE(Check(ValidatePicture, bad)) << c.name;
    }
}

TEST(Picture, PaletteBitmapsHoldAtMostTheirColours) {
    EXPECT_TRUE(Check(ValidatePicture, PictureBody(2, 2, 4, 16)));
    EXPECT_FALSE(Check(ValidatePicture, PictureBody(2, 2, 4, 17)));
    EXPECT_TRUE(Check(ValidatePicture, PictureBody(2, 2, 8, 256)));
    EXPECT_FALSE(Check(ValidatePicture, PictureBody(2, 2, 8, 257)));
    EXPECT_TRUE(Check(ValidatePicture, PictureBody(2, 2, 24, 300)));  // an optional table above 8 bits
}

TEST(BackgroundDescription, FaceNameMustEndInsideTheFont) {
    EXPECT_TRUE(Check(ValidateBackgroundDescription, BackgroundDescriptionBody(1, 2, std::string(31, 'F'))));
    EXPECT_FALSE(Check(ValidateBackgroundDescription, BackgroundDescriptionBody(1, 2, std::string(32, 'F'))));
    Bytes longer = BackgroundDescriptionBody(1, 2, "Arial");
    longer.push_back(9);
    EXPECT_TRUE(Check(ValidateBackgroundDescription, longer));
}

TEST(BackgroundTitle, MustHoldItsTerminator) {
    EXPECT_TRUE(Check(ValidateBackgroundTitle, Bytes{0}));
    EXPECT_TRUE(Check(ValidateBackgroundTitle, Bytes{'a', 0, 'b'}));
    EXPECT_FALSE(Check(ValidateBackgroundTitle, Bytes{'a', 'b'}));
    EXPECT_FALSE(Check(ValidateBackgroundTitle, Bytes{}));
}

}  // namespace
