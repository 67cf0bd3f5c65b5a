// Manifests: defaults for all that is left out, and every mistake reported
// with the file, the line and the key.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "builder/manifest/dialog_templates.h"
#include "builder/manifest/code_page.h"
#include "builder/manifest/default_pictures.h"
#include "builder/manifest/languages.h"
#include "builder/manifest/manifest.h"
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
    EXPECT_FALSE(p.full_screen) << "a framed wizard unless the manifest asks for the full-screen look";
    EXPECT_TRUE(p.auto_delta) << "deltas where they pay, unless the manifest turns them off";
}

TEST(Manifest, SidePictureAndTitleLookHaveDefaultsThatCanBeChangedOrTurnedOff) {
    ManifestFolder f;
    Bytes own = DefaultSidePicture();
    own[own.size() - 1] ^= 1;
    std::ofstream(f.dir / "side.bmp", std::ios::binary).write(reinterpret_cast<const char*>(own.data()), own.size());
    auto load = [&](const std::string& setup_lines) {
        return LoadManifest(f.Write("[setup]\ntitle = \"T\"\n" + setup_lines + "[[type]]\n"));
    };
    Product p = load("");
    EXPECT_EQ(p.side_picture, DefaultSidePicture());
    EXPECT_EQ(p.background_description, BackgroundDescription(TitleLook{}));
    EXPECT_EQ(p.background_title, "T");
    EXPECT_EQ(load("side_picture = true\n").side_picture, DefaultSidePicture());
    EXPECT_FALSE(load("side_picture = false\n").side_picture);
    EXPECT_EQ(load("side_picture = \"side.bmp\"\n").side_picture, own);

    // Colours as 0xRRGGBB; what is left out keeps its default.
    p = load("[setup.title_font]\nface = \"Tahoma\"\ncolor = 0xFF8000\nitalic = false\n");
    TitleLook look;
    look.face = "Tahoma";
    look.colour = 0xFF8000;
    look.italic = false;
    EXPECT_EQ(p.background_description, BackgroundDescription(look));
    EXPECT_EQ(ReadU32(&(*p.background_description)[kDescriptionTextColour]), 0x0080FFu);
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
"8.3" = "far"
[[type]]
)"));
    EXPECT_EQ(p.types[0].texts[0].at(1), "for every type");
    EXPECT_EQ(p.types[0].texts[6].at(31), "this type's own");
    EXPECT_EQ(p.types[1].texts[6].at(31), "broken!");
    EXPECT_EQ(p.types[0].texts[8].size(), 4u);
    EXPECT_EQ(p.types[0].texts[8][3], "far");
}

// The finish page introduces its document button and run-program box only
// for a type that has them; the author's own words win; pacing is timed
// unless the manifest asks for one entry per tick.
TEST(Manifest, FinishPageWordsFollowTheTypesFiles) {
    ManifestFolder f;
    Product p = LoadManifest(f.Write(R"(
[setup]
title = "T"
pacing = "described"
[[type]]
[[type.file]]
source = "payload/app.txt"
role = "document"
[[type]]
[type.texts]
"5.3" = "mine"
[[type.file]]
source = "payload/app.txt"
role = "program"
[[type]]
)"));
    EXPECT_FALSE(p.timed_steps);
    EXPECT_FALSE(p.types[0].texts[5].at(2).empty());
    EXPECT_TRUE(p.types[0].texts[5].at(3).empty());
    EXPECT_TRUE(p.types[1].texts[5].at(2).empty());
    EXPECT_EQ(p.types[1].texts[5].at(3), "mine");
    EXPECT_TRUE(p.types[2].texts[5].at(2).empty() && p.types[2].texts[5].at(3).empty());
    EXPECT_TRUE(LoadManifest(f.Write("[setup]\ntitle = \"T\"\n[[type]]\n")).timed_steps);
}

// Authors draw pages with the usual resource tools: dialogs from a .res
// file replace the templates of their numbers, and a template without a
// control the program relies on is refused, naming both.
TEST(Manifest, DialogsFromACompiledResourceFile) {
    ManifestFolder f;
    std::ofstream(f.dir / "pages.rc") << R"(
2 DIALOGEX 0, 0, 213, 148
STYLE 0x40000000 | 0x10000000 | 0x400 | 0x40
FONT 8, "MS Shell Dlg"
BEGIN
  LTEXT "", 1000, 0, 0, 213, 20
  EDITTEXT 1004, 0, 24, 150, 13
  PUSHBUTTON "Choose...", 1005, 156, 23, 57, 14
END
8 DIALOG 0, 0, 213, 148
STYLE 0x40000000 | 0x10000000 | 0x400 | 0x40
FONT 8, "MS Shell Dlg"
BEGIN
  AUTORADIOBUTTON "", 1021, 0, 0, 200, 10
END
)";
    // Refused with a message holding `expected`; the .res files stay in this folder.
    auto refused = [&](const std::string& text, const std::string& expected) {
        try {
            LoadManifest(f.Write(text));
            ADD_FAILURE() << expected << ": accepted";
        } catch (const ManifestError& e) {
            EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
        }
    };
    std::string compile = "i686-w64-mingw32-windres -O res -i " + (f.dir / "pages.rc").string() + " -o " +
                          (f.dir / "pages.res").string();
    ASSERT_EQ(std::system(compile.c_str()), 0);
    Product one = LoadManifest(f.Write("[setup]\ntitle = \"T\"\n[dialogs]\nresources = \"pages.res\"\n[[type]]\n"));
    EXPECT_NE(one.dialog_templates[2], DefaultDialogTemplates()[2]);
    EXPECT_EQ(one.dialog_templates[3], DefaultDialogTemplates()[3]);  // not in the file: the default stays
    refused("[setup]\ntitle = \"T\"\n[dialogs]\nresources = \"pages.res\"\n[[type]]\n[[type]]\n",
                  ":4: dialogs.resources: template 8 lacks control 1022");
    std::ofstream(f.dir / "pages.rc", std::ios::app) << "5 DIALOG 0, 0, 10, 10\nBEGIN\nEND\n"
                                                      << "0 DIALOG 0, 0, 10, 10\nBEGIN\n  DEFPUSHBUTTON \"\", 1, 0, 0, 5, 5\nEND\n";
    ASSERT_EQ(std::system(compile.c_str()), 0);
    refused("[setup]\ntitle = \"T\"\n[dialogs]\nresources = \"pages.res\"\n[[type]]\n",
                  "template 0 lacks control 2 (the Cancel button)");
    std::ofstream(f.dir / "junk.res") << "not a resource file";
    refused("[setup]\ntitle = \"T\"\n[dialogs]\nresources = \"junk.res\"\n[[type]]\n",
                  ":4: dialogs.resources: ");
}

// Values beyond the described uninstall entry come only from the manifest,
// so that a package without them is what the setup program expects.
TEST(Manifest, UninstallEntryValuesOnlyWhenGiven) {
    ManifestFolder f;
    Product p = LoadManifest(f.Write(R"(
[setup]
title = "T"
[[type]]
uninstall_entry = { display_version = "2.1", publisher = "Kiln", estimated_size = true, quiet_uninstall = true }
[[type]]
)"));
    ASSERT_TRUE(p.types[0].uninstall_values.has_value());
    const UninstallValues& v = *p.types[0].uninstall_values;
    EXPECT_EQ(v.display_version, "2.1");
    EXPECT_EQ(v.publisher, "Kiln");
    EXPECT_EQ(v.display_icon, "");
    EXPECT_TRUE(v.estimated_size && v.quiet_uninstall);
    EXPECT_FALSE(v.install_location || v.no_modify || v.no_repair);
    EXPECT_FALSE(p.types[1].uninstall_values.has_value());
    ExpectRefused("unknown value", "[setup]\ntitle = \"T\"\n[[type]]\nuninstall_entry = { help_link = \"x\" }\n",
                  ":4: type[0].uninstall_entry.help_link: unknown key");
}

TEST(Manifest, CompressionIsALevelOrAMode) {
    ManifestFolder f;
    struct Case {
        const char* value;
        int level;
        bool solid;
    } cases[] = {{"7", 7, false}, {"\"lzma\"", 0, true}, {"\"deflate\"", 0, false}};
    for (const Case& c : cases) {
        Product p = LoadManifest(f.Write(std::string("[setup]\ntitle = \"x\"\ncompression = ") + c.value + "\n[[type]]\n"));
        EXPECT_EQ(p.level, c.level) << c.value;
        EXPECT_EQ(p.solid_lzma, c.solid) << c.value;
    }
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
        {"file target that names a folder",
         "[setup]\ntitle = \"x\"\n[[type]]\n[[type.file]]\nsource = \"payload/app.txt\"\ntarget = \"logs/\"\n",
         ":6: type[0].file[0].target: ends in a backslash"},
        {"bad text key", "[setup]\ntitle = \"x\"\n[[type]]\n[type.texts]\n\"12.1\" = \"x\"\n", "type[0].texts.12.1"},
        {"level out of range", "[setup]\ntitle = \"x\"\ncompression = 20\n[[type]]\n", ":3: setup.compression: must lie between 1 and 13"},
        {"unknown compression mode", "[setup]\ntitle = \"x\"\ncompression = \"zstd\"\n[[type]]\n",
         ":3: setup.compression: is \"deflate\""},
        {"initial type out of range", "[setup]\ntitle = \"x\"\ninitial_type = 1\n[[type]]\n", "setup.initial_type"},
        {"registry without key",
         "[setup]\ntitle = \"x\"\n[[type]]\nremember_registry = { root = \"HKLM\" }\n", "type[0].remember_registry.key"},
        {"format with the wrong directive", "[setup]\ntitle = \"x\"\n[[type]]\n[type.texts]\n\"2.7\" = \"%s MB\"\n",
         ":4: type[0].texts: "},
        {"picture that is no bitmap", "[setup]\ntitle = \"x\"\nside_picture = \"payload/app.txt\"\n[[type]]\n",
         ":3: setup.side_picture: must be an uncompressed"},
        {"side picture neither a file nor a flag", "[setup]\ntitle = \"x\"\nside_picture = 3\n[[type]]\n",
         ":3: setup.side_picture: expected a text"},
        {"patch with both offset and pattern",
         "[setup]\ntitle = \"x\"\n[[type]]\n[[type.patch]]\nfile = \"a\"\noffset = 3\npattern = \"x\"\n",
         "type[0].patch[0].offset"},
        {"unknown pacing", "[setup]\ntitle = \"x\"\npacing = \"fast\"\n[[type]]\n", ":3: setup.pacing: is \"timed\""},
    };
    for (const Case& c : cases) ExpectRefused(c.name, c.text, c.expected);
}

// One run names every mistake, in the manifest's order, each with its
// line and key: the entries around a bad one are still read and judged.
TEST(Manifest, EveryMistakeAtOnceInLineOrder) {
    ManifestFolder f;
    std::string path = f.Write(R"([setup]
title = "x"
colour = 3
[[type]]
folder_editable = "yes"
[[type.file]]
source = "payload/none.txt"
target = "con.txt"
[[type.file]]
source = "payload/app.txt"
[[type.file]]
source = "payload/gone.txt"
[[type.file]]
source = "payload/app.txt"
target = "APP.TXT"
[[type.registry]]
root = "HKLM"
[[type.ini]]
file = "a.ini"
section = "s"
key = "k"
valeu = "v"
[[type]]
[[type.file]]
source = "payload/app.txt"
destination = "moon"
)");
    const std::vector<std::string> expected = {
        ":3: setup.colour: unknown key",
        ":5: type[0].folder_editable: expected true or false",
        ":7: type[0].file[0].source: no such file",
        ":8: type[0].file[0].target: the target 'con.txt' holds the device name",
        ":12: type[0].file[2].source: no such file",
        ":15: type[0].file[3].target: entry 2 ('APP.TXT') names the same file as entry 0 ('app.txt')",
        ":16: type[0].registry[0].key: is required",  // left out: at its table
        ":22: type[0].ini[0].valeu: unknown key (did you mean value?)",
        ":26: type[1].file[0].destination: expected one of",
    };
    try {
        LoadManifest(path);
        ADD_FAILURE() << "accepted";
    } catch (const ManifestError& e) {
        ASSERT_EQ(e.problems.size(), expected.size()) << e.what();
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(e.problems[i].find(path + expected[i]), 0u) << e.problems[i];
        EXPECT_EQ(std::count(e.what(), e.what() + std::strlen(e.what()), '\n'), long(expected.size()) - 1);
    }
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
        {"LZMA window not a power of two", "[setup]\ntitle = \"x\"\nlzma_window = \"5K\"\n[[type]]\n",
         ":3: setup.lzma_window: must be a power of two from 4K to 64M"},
        {"LZMA window above the setup program's bound", "[setup]\ntitle = \"x\"\nlzma_window = \"128M\"\n[[type]]\n",
         ":3: setup.lzma_window: must be a power of two"},
    };
    for (const Case& c : cases) ExpectRefused(c.name, c.text, c.expected);
}

TEST(Manifest, KilnsUninstallerGoesFirstIntoEachTypeThatAsks) {
    auto types = [](const char* setup_line, const char* first_type) {
        return std::string("[setup]\ntitle = \"Tiny\"\n") + setup_line + "[setup.texts]\n\"10.0\" = \"Remove %s?\"\n" +
               "[[type]]\n" + first_type + "[[type.file]]\nsource = \"payload/app.txt\"\n" +
               "[[type]]\nuninstall_key = \"\"\n[[type.file]]\nsource = \"payload/app.txt\"\n";
    };
    const struct {
        const char* name;
        std::string text;
        bool first, second;
    } cases[] = {
        {"for every type", types("uninstaller = true\n", ""), true, true},
        {"a type that names its key", types("", "uninstall_key = \"Tiny 1.0\"\n"), true, false},
        {"no type names its key", types("", ""), false, false},
        {"turned off", types("uninstaller = false\n", "uninstall_key = \"Tiny 1.0\"\n"), false, false},
        {"the manifest's own program", types("uninstaller = \"payload/app.txt\"\n", "uninstall_key = \"T\"\n"),
         false, false},
    };
    for (const auto& c : cases) {
        ManifestFolder f;
        Product p = LoadManifest(f.Write(c.text));
        EXPECT_EQ(p.kiln_uninstaller, c.first || c.second) << c.name;
        for (size_t k = 0; k < 2; ++k) {
            bool asks = k == 0 ? c.first : c.second;
            const std::vector<ProductFile>& files = p.types[k].files;
            ASSERT_EQ(files.size(), asks ? 2u : 1u) << c.name << ", type " << k;
            EXPECT_EQ(files[0].uninstaller, asks) << c.name << ", type " << k;
            if (!asks) continue;
            EXPECT_EQ(files[0].target, "uninstall.exe");
            ASSERT_TRUE(files[0].content.has_value());
            // The type's own texts travel with it: the product name and the question.
            std::string data(files[0].content->begin(), files[0].content->end());
            EXPECT_NE(data.find("Tiny"), std::string::npos) << c.name;
            EXPECT_NE(data.find("Remove %s?"), std::string::npos) << c.name;
        }
        // What the uninstaller is to take away again, unless the manifest says "keep".
        for (size_t k = 0; k < 2; ++k)
            EXPECT_EQ(p.types[k].files.back().placement, (k == 0 ? c.first : c.second) ? 1 : 0) << c.name;
    }
    ManifestFolder f;
    EXPECT_FALSE(LoadManifest(f.Write(types("uninstaller = \"payload/app.txt\"\n", ""))).uninstaller->empty());
}

TEST(Manifest, WhatKilnsUninstallerCannotServeIsNamedWithFileLineAndKey) {
    auto manifest = [](const char* file, const char* type = "") {
        return std::string("[setup]\ntitle = \"x\"\nuninstaller = true\n[[type]]\n") + type +
               "[[type.file]]\nsource = \"payload/app.txt\"\n" + file;
    };
    const struct {
        const char* name;
        std::string text;
        const char* expected;
    } cases[] = {
        {"its own uninstaller too", manifest("uninstaller = true\n"),
         ":7: type[0].file[0].uninstaller: the setup type already gets Kiln's uninstaller"},
        {"a file in its place", manifest("target = \"Uninstall.EXE\"\n"),
         ":7: type[0].file[0].target: is where Kiln's uninstaller goes"},
        {"a Windows file it could not remove", manifest("destination = \"windows\"\nplacement = \"remove\"\n"),
         ":8: type[0].file[0].placement: the uninstaller removes a file from the Windows folder only"},
        {"a shared file in a sub-folder", manifest("target = \"sub\\\\f.dll\"\ndestination = \"shared\"\nshared_count = true\n"),
         ":7: type[0].file[0].target: a shared file the uninstaller removes lies directly in its folder"},
        {"a font in a sub-folder", manifest("target = \"sub/f.ttf\"\ndestination = \"fonts\"\n"),
         ":7: type[0].file[0].target: a font the uninstaller removes lies directly in its folder"},
        {"a key below a key", manifest("", "uninstall_key = \"Vendor\\\\Tiny\"\n"),
         ":5: type[0].uninstall_key: names one key below the Uninstall key"},
        {"neither flag nor file", "[setup]\ntitle = \"x\"\nuninstaller = 3\n[[type]]\n",
         ":3: setup.uninstaller: expected true, false or the uninstaller program's file"},
    };
    for (const auto& c : cases) ExpectRefused(c.name, c.text, c.expected);
    // Two types with one uninstall entry: the second install replaces the first.
    const std::string two_types = "[setup]\ntitle = \"x\"\nuninstaller = true\n%s[[type]]\n[[type.file]]\n"
                                  "source = \"payload/app.txt\"\n[[type]]\n%s[[type.file]]\nsource = \"payload/app.txt\"\n";
    auto with = [&](const std::string& setup, const std::string& second_type) {
        std::string text = two_types;
        text.replace(text.find("%s"), 2, setup);
        text.replace(text.find("%s"), 2, second_type);
        return text;
    };
    ManifestFolder two;
    EXPECT_TRUE(LoadManifest(two.Write(with("", ""))).remove_other_types);
    EXPECT_FALSE(LoadManifest(two.Write(with("", "uninstall_key = \"x2\"\n"))).remove_other_types);
    ExpectRefused("one entry, removing other types refused", with("remove_other_types = false\n", ""),
                  ":4: setup.remove_other_types: setup types 0 and 1 share the uninstall entry \"x\"");
    // A shared file in the Windows folder is counted, so the uninstaller may take it.
    ManifestFolder f;
    EXPECT_NO_THROW(LoadManifest(f.Write(manifest("destination = \"windows\"\nplacement = \"remove\"\nshared_count = true\n"))));
    EXPECT_EQ(LoadManifest(f.Write(manifest("placement = \"keep\"\n"))).types[0].files[1].placement, 0);
    // Kept at uninstall, a shared file may lie in a sub-folder.
    EXPECT_NO_THROW(LoadManifest(
        f.Write(manifest("target = \"sub\\\\f.dll\"\ndestination = \"shared\"\nshared_count = true\nplacement = \"keep\"\n"))));
}

}  // namespace

namespace {

// Patterns and folders become one entry per file, sorted, keeping their
// relative paths; a text may come from a file.
TEST(Manifest, PatternsFoldersAndTextFiles) {
    ManifestFolder f;
    for (const char* name : {"bin/b.dll", "bin/a.dll", "bin/notes.txt", "dist/x.txt", "dist/sub/y.txt", "dist/.keep"}) {
        fs::create_directories((f.dir / name).parent_path());
        std::ofstream(f.dir / name) << name;
    }
    std::ofstream(f.dir / "licence.txt") << "\xEF\xBB\xBFLicence \xE2\x80\x93 read me\r\n";
    Product p = LoadManifest(f.Write(R"(
[setup]
title = "T"
[[type]]
[type.texts]
"3.1" = { text_file = "licence.txt" }
[[type.file]]
source = "bin/*.dll"
target = "lib"
[[type.file]]
source = "dist/"
recursive = true
[[type.file]]
source = "dist"
target = "flat"
)"));
    std::vector<std::string> targets;
    for (const ProductFile& file : p.types[0].files) targets.push_back(file.target);
    EXPECT_EQ(targets, (std::vector<std::string>{"lib\\a.dll", "lib\\b.dll", ".keep", "sub\\y.txt", "x.txt",
                                                 "flat\\.keep", "flat\\x.txt"}));
    EXPECT_EQ(p.types[0].files[1].source, (f.dir / "bin/b.dll").string());
    EXPECT_EQ(p.types[0].texts[3][1], "Licence \x96 read me\r\n");

    const struct {
        const char* name;
        const char* file;
        const char* expected;
    } refused[] = {
        {"no match", "source = \"bin/*.exe\"\n", ":5: type[0].file[0].source: 'bin/*.exe' matches no file"},
        {"no folder", "source = \"nothing/*.dll\"\n", "type[0].file[0].source: no such folder"},
        {"shortcut for many", "source = \"bin/*.dll\"\ndesktop_shortcut = { name = \"x\" }\n",
         "type[0].file[0].desktop_shortcut: belongs to a single file"},
        {"recursive for one file", "source = \"bin/a.dll\"\nrecursive = true\n",
         ":6: type[0].file[0].recursive: applies to a source folder or pattern"},
        {"two patterns, one file", "source = \"bin/*.dll\"\n[[type.file]]\nsource = \"bin/a*\"\n",
         "type[0].file[1].target: entry 2 ('a.dll') names the same file as entry 0 ('a.dll')"},
    };
    for (const auto& c : refused) {
        std::string m;
        try {
            LoadManifest(f.Write(std::string("[setup]\ntitle = \"T\"\n[[type]]\n[[type.file]]\n") + c.file));
        } catch (const ManifestError& e) {
            m = e.what();
        }
        EXPECT_NE(m.find(c.expected), std::string::npos) << c.name << ": " << m;
    }
}

// [setup] languages: the first language's built-in texts, captions and code
// page make the described records; the author's [texts.<tag>] and
// [setup.texts] go over them. Each further language gets its own texts for
// every type, in its own code page, with the title and [texts.<tag>].
TEST(Manifest, EveryListedLanguageGetsItsTexts) {
    ManifestFolder f;
    std::vector<std::string> warnings;
    Product p = LoadManifest(f.Write(R"(
[setup]
title = "Kassa"
languages = ["ru", "de"]
[setup.texts]
"0.2" = "Закройте программы."
[texts.ru]
"0.1" = "Привет"
[texts.de]
"0.1" = "Hallo"
[[type]]
[[type.file]]
source = "payload/app.txt"
role = "document"
)"), &warnings);
    auto cp1251 = [](const std::string& utf8) {
        std::string refusal;
        return FromUtf8(utf8, kWindows1251, &refusal);
    };
    const StringTable& texts = p.types[0].texts;
    EXPECT_EQ(texts[6][0], "Kassa");
    EXPECT_EQ(texts[0][1], cp1251("Привет"));
    EXPECT_EQ(texts[0][2], cp1251("Закройте программы."));
    EXPECT_EQ(texts[7][1], cp1251("&Далее >"));
    EXPECT_EQ(texts[5][2], cp1251(FindLanguage("ru")->texts.at("finish.document").utf8));
    EXPECT_EQ(p.dialog_templates, DefaultDialogTemplates(LanguageCaptions(*FindLanguage("ru"))));
    ASSERT_EQ(p.languages.size(), 2u);
    EXPECT_EQ(p.languages[0].tag, "ru");
    EXPECT_EQ(p.languages[0].code_page, 1251);
    EXPECT_TRUE(p.languages[0].type_texts.empty());
    const ProductLanguage& de = p.languages[1];
    EXPECT_EQ(de.langid, 0x0407);
    ASSERT_EQ(de.type_texts.size(), 1u);
    const Language& german = *FindLanguage("de");
    StringTable expected = LanguageStringTable(german, kWindows1252);
    expected[6][0] = "Kassa";
    expected[0][1] = "Hallo";
    expected[5][2] = LanguageNamedText(german, "finish.document", kWindows1252);
    expected[5].resize(std::max<size_t>(expected[5].size(), 4));
    EXPECT_EQ(de.type_texts[0], expected);  // [setup.texts] belongs to the first language
    EXPECT_EQ(de.dialog_templates, DefaultDialogTemplates(LanguageCaptions(german)));
    std::string all;
    for (const std::string& w : warnings) all += w + "\n";
    EXPECT_NE(all.find(":9: texts.de: \"0.2\" is given for ru but not for de"), std::string::npos) << all;
    EXPECT_EQ(warnings.size(), 1u) << all;
}

TEST(Manifest, LanguageMistakesNameFileLineAndKey) {
    const std::string head = "[setup]\ntitle = \"T\"\n";
    struct Case {
        const char* name;
        std::string text;
        const char* expected;
    } cases[] = {
        {"unknown language", head + "languages = [\"de\", \"fx\"]\n[[type]]\n",
         ":3: setup.languages[1]: unknown language \"fx\" (did you mean fr?); kiln knows en, cs, de, es, fr, it, ja"},
        {"no list", head + "languages = \"de\"\n[[type]]\n", ":3: setup.languages: expected a list of language tags"},
        {"a backslash byte in the folder a title makes",
         "[setup]\ntitle = \"表計算\"\nlanguages = [\"ja\"]\n[[type]]\nuninstall_key = \"Hyo\"\n",
         ":2: setup.title: '表', as the folder, ends in a backslash (0x5C) in Windows-932"},
        {"a backslash byte in a file's name", "[setup]\ntitle = \"T\"\nlanguages = [\"zh-CN\"]\n[[type]]\n"
                                             "[[type.file]]\nsource = \"a.txt\"\ntarget = \"乗.txt\"\n",
         "type[0].file[0].target: '乗' ends in a backslash (0x5C) in Windows-936"},
        {"listed twice", head + "languages = [\"de\", \"de\"]\n[[type]]\n", "setup.languages[1]: \"de\" is listed twice"},
        {"texts of a language not listed", head + "languages = [\"de\"]\n[texts.fr]\n\"0.1\" = \"Salut\"\n[[type]]\n",
         "texts.fr: [setup] languages does not name \"fr\""},
        {"lost directive", head + "languages = [\"de\"]\n[texts.de]\n\"6.16\" = \"Datei nicht lesbar.\"\n[[type]]\n",
         ":5: texts.de.6.16: format directives \"\" where the built-in text has \"%s\""},
        {"wrong directive in [setup.texts]", head + "languages = [\"fr\"]\n[setup.texts]\n\"2.7\" = \"%s Mo\"\n[[type]]\n",
         ":5: setup.texts.2.7: format directives \"%s\" where the built-in text has \"%d\""},
        {"wrong directive in a later language",
         head + "languages = [\"fr\", \"de\"]\n[texts.de]\n\"6.28\" = \"Disk %s\"\n[[type]]\n",
         ":5: texts.de.6.28: format directives \"%s\""},
        {"character outside the code page", head + "languages = [\"de\"]\n[texts.de]\n\"0.1\" = \"Привет\"\n[[type]]\n",
         ":5: texts.de.0.1: the text holds 'П' (U+041F), which Windows-1252 cannot hold (the code page of German, de)"},
        {"character outside a later language's code page",
         head + "languages = [\"de\", \"pl\"]\n[texts.pl]\n\"0.1\" = \"Voilà\"\n[[type]]\n",
         ":5: texts.pl.0.1: the text holds 'à' (U+00E0), which Windows-1250 cannot hold (the code page of Polish, pl)"},
        {"title outside the code page", "[setup]\ntitle = \"Café\"\nlanguages = [\"ru\"]\n[[type]]\n",
         ":2: setup.title: the text holds 'é' (U+00E9), which Windows-1251 cannot hold (the code page of Russian, ru)"},
        {"title outside a later language's code page", "[setup]\ntitle = \"Книга\"\nlanguages = [\"ru\", \"de\"]\n[[type]]\n",
         ":2: setup.title: the text holds 'К' (U+041A), which Windows-1252 cannot hold (the code page of German, de)"},
        {"too long in a later language",
         head + "languages = [\"fr\", \"de\"]\n[texts.de]\n\"2.7\" = \"%d " + std::string(100, 'M') + "\"\n[[type]]\n",
         ":4: texts.de: group 2, index 7: longer than its 100-byte buffer"},
    };
    for (const Case& c : cases) ExpectRefused(c.name, c.text, c.expected);
}

}  // namespace
