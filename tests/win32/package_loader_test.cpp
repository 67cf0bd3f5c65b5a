// Loading the package behind the stub: every record in place, and every
// kind of damaged or incomplete setup file refused without a crash.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "builder/manifest/dialog_templates.h"
#include "decoder/archive_state.h"
#include "package/package_loader.h"
#include "package/setup_config.h"
#include "package/setup_languages.h"
#include "package/solid_blocks.h"
#include "startup/process_state.h"
#include "tests/win32/package_file.h"
#include "tests/win32/test_files.h"
#include "wizard/message_box.h"

namespace {

std::vector<std::string> g_shown;
int RecordMessage(const char* text, const char*, UINT) {
    g_shown.push_back(text);
    return IDOK;
}

struct Loaded {
    bool ok;
    std::vector<std::string> messages;
};

Loaded Load(const std::string& path, uint32_t stub_length = kTestStubLength, const char* language = "") {
    ResetProcessState();
    lstrcpynA(g_state.source_path, path.c_str(), MAX_PATH);
    lstrcpynA(g_state.language_wish, language, sizeof g_state.language_wish);
    g_shown.clear();
    SetMessageAnswerer(RecordMessage);
    Loaded l{LoadPackage(stub_length), g_shown};
    SetMessageAnswerer(nullptr);
    return l;
}

Loaded Load(const std::vector<TestRecord>& records) {
    SetupFileOnDisk file(records);
    return Load(file.path);
}

const Bytes kArchive = {'A', 'R', 'C', 'H', 'I', 'V', 'E', '!'};

TestRecord Templates() { return {kTagDialogTemplates, BuildDialogTemplateTable(DefaultDialogTemplates())}; }
TestRecord Type(const std::string& name, bool compressed = true) {
    return {kTagSetupType, SetupTypeRecord(TestType(name, "C:\\Kiln Test\\" + name)), compressed};
}
TestRecord Archive(int length_delta = 0) { return {kTagArchive, ArchiveRecordBody(kArchive, length_delta)}; }

std::vector<TestRecord> GoodPackage() {
    return {
        Templates(),
        {kTagSetupFlags, U32Body(kSetupFullScreen | kSetupRemoveOtherTypes)},
        {kTagBackgroundTitle, Bytes{'S', 'a', 'm', 'p', 'l', 'e', 0}, true},
        Type("Typical"),
        {kTagFileList, TestFileList({"a.txt", "sub\\b.dll"}), true},
        {kTagIniEntries, IniTable({{false, "x.ini", "S", "K", "V"}})},
        {kTagRegistryEntries, RegistryTable({{1, false, "Software\\Kiln", "", "v"}})},
        {kTagFilePatches, PatchTable({{0, "a.txt", "data", {}}})},
        Type("Compact", false),
        {kTagFileList, TestFileList({"a.txt"})},
        Archive(),
    };
}

// A solid archive of one block: the test archive's 8 bytes, 1000 unpacked.
TestRecord SolidTable(uint32_t packed = 8, uint32_t unpacked = 1000) {
    Bytes t(4 + kSolidBlockSize);
    WriteU32(t.data(), 1);
    WriteU32(t.data() + 4, packed);
    WriteU32(t.data() + 8, unpacked);
    WriteU32(t.data() + 12, 1u << 16);
    t[16] = LzmaPropertiesByte(LzmaProperties{});
    return {kTagSolidBlocks, t, true};
}
std::vector<TestRecord> SolidPackage(TestRecord table = SolidTable(), bool flag = true) {
    auto p = GoodPackage();
    p[1] = {kTagSetupFlags, U32Body(flag ? kSetupSolidArchive : 0)};
    p.insert(p.end() - 1, table);
    return p;
}

TEST(PackageLoader, LoadsEveryRecord) {
    SetupFileOnDisk file(GoodPackage());
    Loaded l = Load(file.path);
    ASSERT_TRUE(l.ok);
    EXPECT_TRUE(l.messages.empty());
    EXPECT_EQ(g_config.setup_flags, kSetupFullScreen | kSetupRemoveOtherTypes);
    EXPECT_STREQ(reinterpret_cast<const char*>(g_config.background_title.data), "Sample");
    EXPECT_GT(g_config.dialog_templates.size, 0u);
    ASSERT_EQ(g_config.type_count, 2);
    EXPECT_EQ(g_config.current_type, 0);
    EXPECT_STREQ(LookUpText(0, 0), "Welcome Typical");
    EXPECT_EQ(g_config.current_file_count, 2u);
    EXPECT_NE(g_config.types[0].ini_entries.data, nullptr);
    EXPECT_NE(g_config.types[0].registry_entries.data, nullptr);
    EXPECT_NE(g_config.types[0].file_patches.data, nullptr);
    EXPECT_EQ(g_config.types[1].ini_entries.data, nullptr);
    EXPECT_EQ(g_config.start_page, 0xFFFF);
    // The archive: its length field is the last thing before the archive's bytes.
    HANDLE h = CreateFileA(file.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(g_archive.start_position, GetFileSize(h, nullptr) - kArchive.size() - 4);
    CloseHandle(h);
    EXPECT_EQ(g_archive.volume_length, kArchive.size());
    EXPECT_EQ(g_archive.volume_remainder, kArchive.size());
    EXPECT_EQ(g_archive.volume_base, 0u);
    SelectSetupType(1);
    EXPECT_STREQ(LookUpText(0, 0), "Welcome Compact");
    EXPECT_EQ(g_config.current_file_count, 1u);
    FreeSetupConfig();
}

// Each case changes the good package; the table says whether it still loads
// and whether the damaged-package message is shown.
TEST(PackageLoader, DamagedAndIncompletePackages) {
    struct Case {
        const char* name;
        std::vector<TestRecord> (*make)();
        bool loads;
        bool message;
    } cases[] = {
        {"archive length one short", [] { auto p = GoodPackage(); p.back() = Archive(-1); return p; }, false, true},
        {"archive length one long", [] { auto p = GoodPackage(); p.back() = Archive(+1); return p; }, false, true},
        {"start page excuses the end check",
         [] {
             auto p = GoodPackage();
             p.back() = Archive(+1);
             p.insert(p.begin() + 1, TestRecord{kTagStartPage, {0xFF, 0xFF, 1, 0}});
             return p;
         },
         true, false},
        {"unknown tags are skipped",
         [] {
             auto p = GoodPackage();
             p.insert(p.begin() + 2, TestRecord{0x1238, {1, 2, 3}});
             p.insert(p.begin() + 2, TestRecord{0x5555, {1, 2, 3, 4, 5}, true});
             return p;
         },
         true, false},
        {"size-0 records leave their slot empty",
         [] {
             auto p = GoodPackage();
             p.insert(p.begin() + 2, TestRecord{kTagSidePicture, {}});
             return p;
         },
         true, false},
        {"size-0 setup type and second file list are not read",
         [] {
             auto p = GoodPackage();
             p.insert(p.begin() + 4, TestRecord{kTagSetupType, {}});
             p.insert(p.begin() + 6, TestRecord{kTagFileList, {}});
             return p;
         },
         true, false},
        {"empty archive record ends the reading",
         [] { auto p = GoodPackage(); p.back() = TestRecord{kTagArchive, {}}; return p; }, false, true},
        {"no archive record", [] { auto p = GoodPackage(); p.pop_back(); return p; }, false, false},
        {"seven setup types",
         [] {
             auto p = GoodPackage();
             for (int i = 0; i < 5; ++i) p.insert(p.end() - 1, Type("Extra"));
             return p;
         },
         false, true},
        {"file list entry of size 0",
         [] {
             auto p = GoodPackage();
             Bytes& list = p[4].body;
             list[4] = list[5] = 0;
             return p;
         },
         false, true},
        {"setup type text offset past the end",
         [] {
             auto p = GoodPackage();
             WriteU32(&p[3].body[kTypeDisplayName], uint32_t(p[3].body.size() + 10));
             return p;
         },
         false, false},
        {"file list before any setup type",
         [] {
             auto p = GoodPackage();
             p.insert(p.begin() + 1, TestRecord{kTagFileList, TestFileList({"x"})});
             return p;
         },
         false, true},
        {"compressed body that does not decode",
         [] {
             auto p = GoodPackage();
             TestRecord bad{kTagBackgroundDescription, {68, 0, 0, 0, 0x03}};  // block type 3
             bad.mark_compressed = true;
             p.insert(p.begin() + 2, bad);
             return p;
         },
         false, true},
        {"delta whose base does not exist",
         [] {
             auto p = GoodPackage();
             ProductFile delta = TestFile("new.dll");
             Bytes entry = FileListEntry(delta, ArchivedFile{}, 1);
             entry[kEntryFlags] |= kEntryIsDelta;
             WriteU32(&entry[kEntryBaseOrdinal], 5);  // type 1 lists one file
             p[4].body = FileList({entry});
             return p;
         },
         false, true},
        // The setup flag and the block table come together; the blocks fill
        // the archive, and every entry lies inside its block.
        {"solid archive", [] { return SolidPackage(); }, true, false},
        {"solid flag without a block table", [] { auto p = SolidPackage(); p.erase(p.end() - 2); return p; }, false, true},
        {"block table without the solid flag", [] { return SolidPackage(SolidTable(), false); }, false, true},
        {"blocks short of the archive's end", [] { return SolidPackage(SolidTable(7)); }, false, true},
        {"linked block table", [] { auto p = SolidPackage(); p[p.size() - 2].tag = kTagSolidBlocksLinked; return p; },
         true, false},
        {"block table under both tags",
         [] {
             auto p = SolidPackage();
             TestRecord linked = SolidTable();
             linked.tag = kTagSolidBlocksLinked;
             p.insert(p.end() - 1, linked);
             return p;
         },
         false, true},
        {"linked block table without the solid flag",
         [] { auto p = SolidPackage(SolidTable(), false); p[p.size() - 2].tag = kTagSolidBlocksLinked; return p; },
         false, true},
        {"block table of no blocks",
         [] { return SolidPackage(TestRecord{kTagSolidBlocks, Bytes(4, 0)}); }, false, true},
        {"entry outside its block",
         [] {
             auto p = SolidPackage();
             WriteU32(&p[4].body[kFileListHeaderSize + kEntryStoredSize], 1001);
             return p;
         },
         false, true},
        {"initial type that does not exist",
         [] {
             auto p = GoodPackage();
             p.insert(p.begin() + 1, TestRecord{kTagStartPage, {0xFF, 0xFF, 9, 0}});
             return p;
         },
         false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Loaded l = Load(c.make());
        EXPECT_EQ(l.ok, c.loads);
        EXPECT_EQ(!l.messages.empty(), c.message);
        if (c.message && !l.messages.empty()) EXPECT_EQ(l.messages[0], "The setup file is damaged.");
        FreeSetupConfig();
    }
}

// The good package in English, German and Russian: each further language
// with a setup type record per type (named in that language) and its
// dialog templates.
std::vector<TestRecord> ThreeLanguages() {
    auto p = GoodPackage();
    Bytes table;
    for (auto [langid, code_page, tag] : {std::tuple{0x0409, 1252, "en"}, {0x0407, 1252, "de"}, {0x0419, 1251, "ru"}}) {
        uint8_t e[kLanguageEntrySize] = {};
        WriteU16(e, uint16_t(langid));
        WriteU16(e + 2, uint16_t(code_page));
        std::memcpy(e + 4, tag, std::strlen(tag));
        table.insert(table.end(), e, e + sizeof e);
    }
    std::vector<TestRecord> further = {{kTagSetupLanguages, table}};
    for (auto [typical, compact] : {std::pair{"Typisch", "Kompakt"}, {"Obychnaya", "Kompaktnaya"}}) {
        further.push_back({kTagLanguageType, SetupTypeRecord(TestType(typical, "C:\\Kiln Test\\Typical")), true});
        further.push_back({kTagLanguageType, SetupTypeRecord(TestType(compact, "C:\\Kiln Test\\Compact"))});
        further.push_back({kTagLanguageDialogs, BuildDialogTemplateTable(DefaultDialogTemplates()), true});
    }
    p.insert(p.end() - 1, further.begin(), further.end());
    return p;
}

// The loader takes the chosen language's records in place of the
// described ones and reads no other's; the language table and the records
// of the language shown are checked as the described records are.
TEST(PackageLoader, TakesTheChosenLanguage) {
    const int kTable = 10;  // ThreeLanguages()'s index of the table; German's records follow it
    struct Case {
        const char* name;
        const char* wish;  // /LANG
        void (*change)(std::vector<TestRecord>&);
        bool loads;
        const char* welcome;  // of setup type 0; null: not loaded
        const char* message;  // shown; null: none
    } cases[] = {
        {"/LANG=de", "de", [](std::vector<TestRecord>&) {}, true, "Welcome Typisch", nullptr},
        {"no wish: the user's language, here English", "", [](std::vector<TestRecord>&) {}, true, "Welcome Typical",
         nullptr},
        {"the first language by its tag", "EN", [](std::vector<TestRecord>&) {}, true, "Welcome Typical", nullptr},
        // Russian needs code page 1251; Wine's here is 1252. The first
        // language's message text is empty in this package.
        {"a language the system cannot show", "ru", [](std::vector<TestRecord>&) {}, false, nullptr, ""},
        {"a language the file lacks", "fr", [](std::vector<TestRecord>&) {}, false, nullptr, ""},
        {"a damaged record of another language is never read", "de",
         [](std::vector<TestRecord>& p) { p[kTable + 4].body.resize(10); }, true, "Welcome Typisch", nullptr},
        {"a damaged record of the language shown", "de",
         [](std::vector<TestRecord>& p) { p[kTable + 2].body.resize(10); }, false, nullptr, "The setup file is damaged."},
        {"the language shown lacks a type", "de",
         [](std::vector<TestRecord>& p) { p.erase(p.begin() + kTable + 2); }, false, nullptr, "The setup file is damaged."},
        {"its records before the table", "de",
         [](std::vector<TestRecord>& p) { std::swap(p[kTable], p[kTable + 3]); }, false, nullptr,
         "The setup file is damaged."},
        {"a compressed table", "de", [](std::vector<TestRecord>& p) { p[kTable].compressed = true; }, false, nullptr,
         "The setup file is damaged."},
        {"two tables", "", [](std::vector<TestRecord>& p) { p.insert(p.begin() + kTable, p[kTable]); }, false, nullptr,
         "The setup file is damaged."},
        {"a table of part of an entry", "", [](std::vector<TestRecord>& p) { p[kTable].body.resize(30); }, false,
         nullptr, "The setup file is damaged."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto records = ThreeLanguages();
        ASSERT_EQ(records[kTable].tag, kTagSetupLanguages);
        c.change(records);
        SetupFileOnDisk file(records);
        Loaded l = Load(file.path, kTestStubLength, c.wish);
        EXPECT_EQ(l.ok, c.loads);
        if (c.welcome) EXPECT_STREQ(LookUpText(0, 0), c.welcome);
        ASSERT_EQ(l.messages.size(), c.message ? 1u : 0u);
        if (c.message) EXPECT_EQ(l.messages[0], c.message);
        FreeSetupConfig();
    }
}

TEST(PackageLoader, RawRecordsIgnoreTheirCompressedFlag) {
    auto p = GoodPackage();
    Bytes file(kTestStubLength, 'S');
    for (TestRecord& r : p) PutRecord(file, r);
    // The flags record is the second: set its compressed bit.
    size_t at = kTestStubLength + 8 + p[0].body.size() + 2;
    file[at] = 1;
    SetupFileOnDisk f(file);
    ASSERT_TRUE(Load(f.path).ok);
    EXPECT_EQ(g_config.setup_flags, kSetupFullScreen | kSetupRemoveOtherTypes);
    FreeSetupConfig();
}

TEST(PackageLoader, TruncatedAnywhereFailsWithoutCrashing) {
    Bytes file(kTestStubLength, 'S');
    for (const TestRecord& r : GoodPackage()) PutRecord(file, r);
    for (size_t size = kTestStubLength; size < file.size(); size += 7) {
        SetupFileOnDisk f(Bytes(file.begin(), file.begin() + long(size)));
        EXPECT_FALSE(Load(f.path).ok) << size;
        FreeSetupConfig();
    }
}

TEST(PackageLoader, NoPackageOrNoFile) {
    SetupFileOnDisk file(GoodPackage());
    EXPECT_FALSE(Load(file.path, 0).ok);
    EXPECT_FALSE(Load("C:\\no such folder\\setup.exe").ok);
}

// The example built by kiln (the test command builds it and names it here).
TEST(PackageLoader, LoadsTheBuiltExample) {
    const char* path = std::getenv("KILN_EXAMPLE_SETUP");
    if (!path) GTEST_SKIP() << "KILN_EXAMPLE_SETUP not set";
    uint32_t stub_length = StubLengthOfFile(path);
    ASSERT_NE(stub_length, 0u);
    Loaded l = Load(path, stub_length);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(g_config.type_count, 2);
    EXPECT_STREQ(LookUpText(6, 0), "Sample Product");
    EXPECT_EQ(g_config.current_file_count, 4u);  // the uninstaller first
    EXPECT_NE(g_config.types[0].ini_entries.data, nullptr);
    EXPECT_NE(g_config.types[0].registry_entries.data, nullptr);
    FreeSetupConfig();
}

}  // namespace
