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

// The setup language record tells readers the LANGID and the code page the
// texts are in; a manifest that names no language gets none, and its setup
// file stays as it was.
TEST(PackageBuilder, LanguageRecord) {
    struct Case {
        const char* languages;  // the [setup] line, "" for none
        uint16_t langid, code_page;
    } cases[] = {{"languages = [\"de\"]\n", 0x0407, 1252},
                 {"languages = [\"ru\", \"de\"]\n", 0x0419, 1251},
                 {"", 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.languages);
        fs::path dir = fs::temp_directory_path() / ("kiln-language-" + std::to_string(c.langid));
        fs::create_directories(dir);
        std::ofstream(dir / "app.txt") << "app";
        std::ofstream(dir / "kiln.toml") << "[setup]\ntitle = \"Book\"\n" << c.languages
                                            << "[[type]]\n[[type.file]]\nsource = \"app.txt\"\n";
        Bytes setup = BuildSetupFile(LoadManifest((dir / "kiln.toml").string()), FakeStub());
        fs::remove_all(dir);
        PackageView v = CheckPackage(setup);
        EXPECT_TRUE(v.problems.empty() && v.warnings.empty());
        EXPECT_EQ(v.langid, c.langid);
        EXPECT_EQ(v.code_page, c.code_page);
        size_t records = std::count_if(v.file.records.begin(), v.file.records.end(),
                                       [](const ReadRecord& r) { return r.tag == kTagSetupLanguage; });
        EXPECT_EQ(records, c.langid ? 1u : 0u);
    }
}

}  // namespace
