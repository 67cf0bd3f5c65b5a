// Manifests: defaults for all that is left out, and every mistake reported
// with the file, the line and the key.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "builder/manifest.h"
#include "package/package_format.h"

namespace fs = std::filesystem;

namespace {

// A manifest and a payload file in a fresh folder.
struct ManifestFolder {
    fs::path dir;
    ManifestFolder() {
        dir = fs::temp_directory_path() / ("kiln-manifest-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                           "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir / "payload");
        std::ofstream(dir / "payload" / "app.txt") << "app";
    }
    ~ManifestFolder() { fs::remove_all(dir); }
    std::string Write(const std::string& text) {
        std::ofstream(dir / "kiln.toml") << text;
        return (dir / "kiln.toml").string();
    }
};

// The manifest is refused with a message that starts with its path and holds `expected`.
void ExpectRefused(const std::string& name, const std::string& text, const std::string& expected) {
    ManifestFolder f;
    std::string path = f.Write(text);
    try {
        LoadManifest(path);
        ADD_FAILURE() << name << ": accepted";
    } catch (const ManifestError& e) {
        std::string m = e.what();
        EXPECT_EQ(m.rfind(path, 0), 0u) << name << ": " << m;
        EXPECT_NE(m.find(expected), std::string::npos) << name << ": " << m;
    }
}

TEST(Manifest, TenLinesMakeACompleteProduct) {
    ManifestFolder f;
    Product p = LoadManifest(f.Write(R"(
[setup]
title = "Tiny"

[[type]]
[[type.file]]
source = "payload/app.txt"
)"));
    ASSERT_EQ(p.types.size(), 1u);
    const ProductType& t = p.types[0];
    EXPECT_EQ(t.display_name, "Tiny");
    EXPECT_EQ(t.default_folder.value(), "#Program Files#\\Tiny");
    EXPECT_EQ(t.uninstall_key.value(), "Tiny");
    EXPECT_EQ(t.texts[kGroupMessages].at(0), "Tiny");
    EXPECT_GT(t.texts[kGroupMessages].size(), size_t(kMessagePackageDamaged));
    EXPECT_FALSE(t.texts[kGroupMessages][kMessagePackageDamaged].empty());
    ASSERT_EQ(t.files.size(), 1u);
    EXPECT_EQ(t.files[0].target, "app.txt");
    EXPECT_TRUE(fs::path(t.files[0].source).is_absolute());
    EXPECT_TRUE(t.files[0].file_times);
    EXPECT_GE(p.dialog_templates.size(), size_t(kTemplateCount));
    EXPECT_TRUE(p.full_screen);
    EXPECT_TRUE(p.auto_delta) << "deltas where they pay, unless the manifest turns them off";
}

TEST(Manifest, TextsOverrideDefaults) {
    ManifestFolder f;
    Product p = LoadManifest(f.Write(R"(
[setup]
title = "T"
[setup.texts]
"0.1" = "for every type"
"6.31" = "broken!"
[[type]]
[type.texts]
"6.31" = "this type's own"
"10.3" = "far"
[[type]]
)"));
    EXPECT_EQ(p.types[0].texts[0].at(1), "for every type");
    EXPECT_EQ(p.types[0].texts[6].at(31), "this type's own");
    EXPECT_EQ(p.types[1].texts[6].at(31), "broken!");
    EXPECT_EQ(p.types[0].texts[10].size(), 4u);
    EXPECT_EQ(p.types[0].texts[10][3], "far");
}

TEST(Manifest, MistakesNameFileLineAndKey) {
    struct Case {
        const char* name;
        const char* text;
        const char* expected;  // every part must appear in the message
    } cases[] = {
        {"syntax", "[setup]\ntitle = \"x\nfoo", ":2"},
        {"no setup", "[[type]]\n", "setup"},
        {"no title", "[setup]\nfull_screen = true\n[[type]]\n", "setup.title"},
        {"unknown key", "[setup]\ntitle = \"x\"\ncolour = 3\n[[type]]\n", ":3: setup.colour: unknown key"},
        {"wrong type", "[setup]\ntitle = \"x\"\nfull_screen = \"yes\"\n[[type]]\n", ":3: setup.full_screen: expected true or false"},
        {"no types", "[setup]\ntitle = \"x\"\n", "one to six"},
        {"seven types", "[setup]\ntitle = \"x\"\n[[type]]\n[[type]]\n[[type]]\n[[type]]\n[[type]]\n[[type]]\n[[type]]\n",
         "one to six"},
        {"missing source", "[setup]\ntitle = \"x\"\n[[type]]\n[[type.file]]\nsource = \"payload/none.txt\"\n",
         ":5: type[0].file[0].source: no such file"},
        {"bad destination",
         "[setup]\ntitle = \"x\"\n[[type]]\n[[type.file]]\nsource = \"payload/app.txt\"\ndestination = \"moon\"\n",
         ":6: type[0].file[0].destination: expected one of install, windows, shared, fonts"},
        {"bad text key", "[setup]\ntitle = \"x\"\n[[type]]\n[type.texts]\n\"12.1\" = \"x\"\n", "type[0].texts.12.1"},
        {"level out of range", "[setup]\ntitle = \"x\"\ncompression = 20\n[[type]]\n", ":3: setup.compression: must lie between 1 and 13"},
        {"initial type out of range", "[setup]\ntitle = \"x\"\ninitial_type = 1\n[[type]]\n", "setup.initial_type"},
        {"registry without key",
         "[setup]\ntitle = \"x\"\n[[type]]\nremember_registry = { root = \"HKLM\" }\n", "type[0].remember_registry.key"},
        {"format with the wrong directive", "[setup]\ntitle = \"x\"\n[[type]]\n[type.texts]\n\"2.7\" = \"%s MB\"\n",
         ":4: type[0].texts: "},
        {"picture that is no bitmap", "[setup]\ntitle = \"x\"\nside_picture = \"payload/app.txt\"\n[[type]]\n",
         ":3: setup.side_picture: must be an uncompressed"},
        {"patch with both offset and pattern",
         "[setup]\ntitle = \"x\"\n[[type]]\n[[type.patch]]\nfile = \"a\"\noffset = 3\npattern = \"x\"\n",
         "type[0].patch[0].offset"},
    };
    for (const Case& c : cases) ExpectRefused(c.name, c.text, c.expected);
}

TEST(Manifest, DeltaBasesAreFoundByTargetName) {
    ManifestFolder f;
    std::ofstream(f.dir / "payload" / "new.txt") << "app 2";
    Product p = LoadManifest(f.Write(R"(
[setup]
title = "D"
volume_size = 1_457_664
auto_delta = false
[[type]]
[[type.file]]
source = "payload/app.txt"
target = "bin/App.txt"
[[type.file]]
source = "payload/new.txt"
delta_base = "BIN\\app.txt"
[[type]]
[[type.file]]
source = "payload/new.txt"
delta_base = { type = 0, file = "bin/app.txt" }
)"));
    EXPECT_EQ(p.volume_size, 1457664u);
    EXPECT_FALSE(p.auto_delta) << "named bases are kept; only the search is off";
    EXPECT_FALSE(p.types[0].files[0].delta_base);
    EXPECT_EQ(p.types[0].files[1].delta_base, (EntryRef{0, 0}));
    EXPECT_EQ(p.types[1].files[0].delta_base, (EntryRef{0, 0}));
}

TEST(Manifest, DeltaBaseMistakesNameFileLineAndKey) {
    // Two setup types; the second file of the first may name a base.
    auto manifest = [](const char* second_file, const char* more) {
        return std::string("[setup]\ntitle = \"x\"\n[[type]]\n[[type.file]]\nsource = \"payload/app.txt\"\n"
                           "[[type.file]]\nsource = \"payload/app.txt\"\ntarget = \"b.txt\"\n") +
               second_file + "[[type]]\n" + more;
    };
    struct Case {
        const char* name;
        std::string text;
        const char* expected;
    } cases[] = {
        {"not a name or table", manifest("delta_base = 3\n", ""), ":9: type[0].file[1].delta_base: expected the target name"},
        {"unknown key", manifest("delta_base = { type = 0, name = \"app.txt\" }\n", ""),
         ":9: type[0].file[1].delta_base.name: unknown key"},
        {"no file", manifest("delta_base = { type = 0 }\n", ""), "type[0].file[1].delta_base.file: needs the target name"},
        {"type out of range", manifest("delta_base = { type = 9, file = \"app.txt\" }\n", ""),
         "type[0].file[1].delta_base.type: must lie between 0 and 5"},
        {"no such type", manifest("delta_base = { type = 2, file = \"app.txt\" }\n", ""),
         ":9: type[0].file[1].delta_base: there is no setup type 2 (the product has 2)"},
        {"no such file", manifest("delta_base = \"none.txt\"\n", ""),
         ":9: type[0].file[1].delta_base: setup type 0 has no file 'none.txt'"},
        {"no such file in the other type", manifest("delta_base = { type = 1, file = \"app.txt\" }\n", ""),
         "setup type 1 has no file 'app.txt'"},
        {"itself", manifest("delta_base = \"b.txt\"\n", ""), ":9: type[0].file[1].delta_base: a file cannot be its own base"},
        {"two files of that name",
         manifest("delta_base = { type = 1, file = \"app.txt\" }\n",
                  "[[type.file]]\nsource = \"payload/app.txt\"\n[[type.file]]\nsource = \"payload/app.txt\"\n"
                  "destination = \"windows\"\n"),
         "setup type 1 has more than one file 'app.txt'"},
        {"a base beside the setup file",
         manifest("delta_base = { type = 1, file = \"readme.txt\" }\n",
                  "[[type.file]]\ntarget = \"readme.txt\"\nplacement = \"beside\"\n"),
         ":9: type[0].file[1].delta_base: file 0 ('readme.txt') of setup type 1 has no data in the archive"},
        {"a base that is a delta",
         manifest("delta_base = { type = 1, file = \"c.txt\" }\n",
                  "[[type.file]]\nsource = \"payload/app.txt\"\ntarget = \"c.txt\"\ndelta_base = { type = 0, file = \"app.txt\" }\n"),
         ":9: type[0].file[1].delta_base: file 0 ('c.txt') of setup type 1 is itself stored as a delta"},
        {"the uninstaller", manifest("delta_base = \"app.txt\"\nuninstaller = true\n", ""),
         ":9: type[0].file[1].delta_base: the uninstaller cannot be stored as a delta"},
        {"a folder", manifest("placement = \"folder\"\ndelta_base = \"app.txt\"\n", ""),
         "type[0].file[1].delta_base: only a file extracted from the archive"},
        {"volume size below one byte of data", "[setup]\ntitle = \"x\"\nvolume_size = 4\n[[type]]\n",
         ":3: setup.volume_size: must lie between 5 and "},
    };
    for (const Case& c : cases) ExpectRefused(c.name, c.text, c.expected);
}

}  // namespace
