// Setup files from the builder: records in their order, bodies that pass
// the setup program's checks, deterministic bytes, and verification that
// finds a damaged archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "builder/manifest/languages.h"
#include "builder/manifest/manifest.h"
#include "builder/assembly/package_builder.h"
#include "builder/reading/package_check.h"
#include "package/package_format.h"
#include "package/setup_languages.h"
#include "package/string_groups.h"

namespace fs = std::filesystem;

namespace {

// A stand-in stub: some bytes around an unpatched patch block.
Bytes FakeStub() {
    Bytes stub(3000, 0x90);
    std::copy(kPatchMarker, kPatchMarker + 6, stub.begin() + 1000);
    return stub;
}

Product Sample() { return LoadManifest(KILN_SOURCE_DIR "/examples/sample/kiln.toml"); }

TEST(PackageBuilder, ExampleHasEveryRecordInOrder) {
    Bytes setup = BuildSetupFile(Sample(), FakeStub());
    PackageView v = CheckPackage(setup);
    EXPECT_TRUE(v.problems.empty()) << v.problems.front();
    EXPECT_EQ(v.file.stub_length, 3000u);
    std::vector<uint16_t> tags;
    for (const ReadRecord& r : v.file.records) tags.push_back(r.tag);
    EXPECT_EQ(tags, (std::vector<uint16_t>{kTagDialogTemplates, kTagSetupFlags, kTagBackgroundTitle,
                                           kTagBackgroundDescription, kTagSidePicture, kTagSetupType, kTagFileList,
                                           kTagIniEntries, kTagRegistryEntries, kTagSetupType, kTagFileList,
                                           kTagIntegrity, kTagArchive}));
    EXPECT_TRUE(v.file.archive_ends_file);
    ASSERT_EQ(v.types.size(), 2u);
    size_t checked;
    EXPECT_TRUE(VerifyPackage(v, &checked).empty());
    EXPECT_EQ(checked, 6u);  // each type's three files and its uninstaller
}

TEST(PackageBuilder, SameInputsGiveSameBytes) {
    EXPECT_EQ(BuildSetupFile(Sample(), FakeStub()), BuildSetupFile(Sample(), FakeStub()));
}

TEST(PackageBuilder, EqualFilesAreArchivedOnce) {
    Product one = Sample();
    one.types.resize(1);
    Product both = Sample();
    // The second type holds only readme.txt, which the first holds too.
    EXPECT_EQ(CheckPackage(BuildSetupFile(one, FakeStub())).file.archive_length,
              CheckPackage(BuildSetupFile(both, FakeStub())).file.archive_length);
}

TEST(PackageBuilder, VerifyFindsADamagedArchive) {
    Bytes setup = BuildSetupFile(Sample(), FakeStub());
    PackageView good = CheckPackage(setup);
    size_t archive_at = size_t(good.file.archive_start + 4);
    for (size_t offset : {size_t(0), size_t(good.file.archive_length / 2)}) {
        Bytes bad = setup;
        bad[archive_at + offset] ^= 0x20;
        size_t checked;
        EXPECT_FALSE(VerifyPackage(CheckPackage(bad), &checked).empty()) << offset;
    }
    Bytes cut(setup.begin(), setup.end() - 1);
    size_t checked;
    EXPECT_FALSE(VerifyPackage(CheckPackage(cut), &checked).empty());
}

TEST(PackageBuilder, Refusals) {
    Product p = Sample();
    p.types[0].files[1].source = "/no/such/file.txt";  // after the uninstaller
    try {
        BuildSetupFile(p, FakeStub());
        ADD_FAILURE() << "accepted a missing source";
    } catch (const BuildError& e) {
        EXPECT_NE(std::string(e.what()).find("/no/such/file.txt"), std::string::npos);
    }
    EXPECT_THROW(BuildSetupFile(Sample(), Bytes(100, 0)), BuildError) << "a stub without patch block";
    Product versioned = Sample();
    versioned.types[0].files[1].version_test = true;  // a text file has no version resource
    EXPECT_THROW(BuildSetupFile(versioned, FakeStub()), BuildError);
}

// A German setup file holds the German texts, as kiln reads them back, and
// its dialogs the German captions.
TEST(PackageBuilder, AGermanSetupSpeaksGerman) {
    fs::path dir = fs::temp_directory_path() / ("kiln-german-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(dir);
    std::ofstream(dir / "app.txt") << "app";
    std::ofstream(dir / "kiln.toml") << "[setup]\ntitle = \"Kassenbuch\"\nlanguages = [\"de\"]\n"
                                        "[texts.de]\n\"0.1\" = \"Grüß Gott.\"\n[[type]]\n[[type.file]]\nsource = \"app.txt\"\n";
    Bytes setup = BuildSetupFile(LoadManifest((dir / "kiln.toml").string()), FakeStub());
    fs::remove_all(dir);
    PackageView v = CheckPackage(setup);
    ASSERT_TRUE(v.problems.empty()) << v.problems.front();
    ASSERT_EQ(v.types.size(), 1u);
    const uint8_t* record = v.types[0].record->body.data();
    StringTable german = LanguageStringTable(*FindLanguage("de"), kWindows1252);
    german[kGroupWelcome][1] = "Gr\xfc\xdf Gott.";
    german[kGroupMessages][0] = "Kassenbuch";
    for (int g : {kGroupWelcome, kGroupDestination, kGroupMessages, kGroupButtons, kGroupUninstaller})
        for (size_t i = 0; i < german[size_t(g)].size(); ++i)
            EXPECT_EQ(GroupText(record, g, int(i)), german[size_t(g)][i]) << g << "." << i;
    EXPECT_STREQ(GroupText(record, kGroupButtons, 1), "&Weiter >");
    const Bytes& templates = v.file.records.front().body;
    ASSERT_EQ(v.file.records.front().tag, kTagDialogTemplates);
    std::u16string browse = u"&Durchsuchen...";
    Bytes wide;
    for (char16_t c : browse) wide.insert(wide.end(), {uint8_t(c), uint8_t(c >> 8)});
    EXPECT_NE(std::search(templates.begin(), templates.end(), wide.begin(), wide.end()), templates.end());
}

// The language table names every language of the manifest, the first being
// the described records'; each further language brings a setup type record
// per type, with the described record's fields and its own texts, and its
// dialog templates. A manifest that names no language gets none of these,
// and its setup file stays as it was.
TEST(PackageBuilder, LanguageRecords) {
    struct Case {
        const char* languages;  // the [setup] line, "" for none
        std::vector<std::pair<std::string, uint16_t>> expected;  // tag and code page of each
    } cases[] = {{"languages = [\"de\"]\n", {{"de", 1252}}},
                 {"languages = [\"ru\", \"de\", \"pt-BR\"]\n", {{"ru", 1251}, {"de", 1252}, {"pt-BR", 1252}}},
                 {"languages = [\"ja\", \"zh-CN\", \"en\"]\n", {{"ja", 932}, {"zh-CN", 936}, {"en", 1252}}},
                 {"", {}}};
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.languages);
        fs::path dir = fs::temp_directory_path() / ("kiln-language-" + std::to_string(run++));
        fs::create_directories(dir);
        std::ofstream(dir / "app.txt") << "app";
        std::ofstream(dir / "kiln.toml") << "[setup]\ntitle = \"Book\"\n" << c.languages
                                            << "[[type]]\nuninstall_key = \"Book\"\n[[type.file]]\nsource = \"app.txt\"\n"
                                            << "[[type]]\nname = \"Small\"\n[[type.file]]\nsource = \"app.txt\"\n";
        Bytes setup = BuildSetupFile(LoadManifest((dir / "kiln.toml").string()), FakeStub());
        fs::remove_all(dir);
        PackageView v = CheckPackage(setup);
        EXPECT_TRUE(v.problems.empty() && v.warnings.empty());
        ASSERT_EQ(v.languages.size(), c.expected.size());
        size_t further = std::count_if(v.file.records.begin(), v.file.records.end(), [](const ReadRecord& r) {
            return r.tag == kTagLanguageType || r.tag == kTagLanguageDialogs;
        });
        EXPECT_EQ(further, c.expected.empty() ? 0 : (c.expected.size() - 1) * 3);
        for (size_t i = 0; i < c.expected.size(); ++i) {
            const LanguageView& l = v.languages[i];
            EXPECT_EQ(l.tag, c.expected[i].first);
            EXPECT_EQ(l.code_page, c.expected[i].second);
            EXPECT_EQ(l.langid, FindLanguage(l.tag)->langid);
            EXPECT_EQ(l.dialogs == nullptr, i == 0);
            StringTable texts = LanguageStringTable(*FindLanguage(l.tag), *CodePageNumbered(l.code_page));
            for (size_t k = 0; k < 2; ++k) {
                const uint8_t* record = l.types[k]->body.data();
                const uint8_t* described = v.types[k].record->body.data();
                EXPECT_STREQ(GroupText(record, kGroupButtons, 1), texts[kGroupButtons][1].c_str());
                EXPECT_STREQ(GroupText(record, kGroupUninstaller, 0), texts[kGroupUninstaller][0].c_str());
                EXPECT_STREQ(GroupText(record, kGroupMessages, 0), "Book");
                for (uint32_t field : {kTypeDisplayName, kTypeUninstallKey, kTypeDefaultFolder}) {
                    const char* a = TypeText(record, field);
                    const char* b = TypeText(described, field);
                    EXPECT_EQ(a ? std::string(a) : "-", b ? std::string(b) : "-") << field;
                }
            }
        }
    }
}

// kiln inspect and verify refuse what the setup program refuses: a table
// not stored, records that do not make a whole set for every language.
TEST(PackageBuilder, DamagedLanguageRecordsAreProblems) {
    fs::path dir = fs::temp_directory_path() / "kiln-language-damage";
    fs::create_directories(dir);
    std::ofstream(dir / "app.txt") << "app";
    std::ofstream(dir / "kiln.toml") << "[setup]\ntitle = \"Book\"\nlanguages = [\"en\", \"de\", \"fr\"]\n"
                                        "[[type]]\n[[type.file]]\nsource = \"app.txt\"\n";
    const Bytes setup = BuildSetupFile(LoadManifest((dir / "kiln.toml").string()), FakeStub());
    fs::remove_all(dir);
    std::vector<uint64_t> at;  // header offsets of the table and each further language's records
    for (const ReadRecord& r : CheckPackage(setup).file.records)
        if (r.tag == kTagSetupLanguages || r.tag == kTagLanguageType || r.tag == kTagLanguageDialogs)
            at.push_back(r.offset);
    ASSERT_EQ(at.size(), 5u);
    const struct {
        const char* name;
        size_t record;
        uint16_t tag;   // written over the record's tag; 0: unchanged
        uint8_t flags;  // written over its flags
        const char* problem;
    } cases[] = {
        {"a compressed table", 0, 0, kRecordCompressed, "the language table must be one stored record"},
        {"a type record gone", 1, 0x12FF, 1, "the language table names 3 languages for 1 setup types, but the package "
                                             "holds 1 setup type and 2 dialog records"},
        {"a type record in the dialogs' place", 2, kTagLanguageType, 1, "holds 3 setup type and 1 dialog records"},
        {"no table", 0, 0x12FF, 0, "records of further languages but no language table"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes damaged = setup;
        if (c.tag) WriteU16(&damaged[at[c.record]], c.tag);
        damaged[at[c.record] + 2] = c.flags;
        std::string all;
        for (const std::string& p : CheckPackage(damaged).problems) all += p + "\n";
        EXPECT_NE(all.find(c.problem), std::string::npos) << all;
    }
}

}  // namespace
