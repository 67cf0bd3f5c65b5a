// The setup program's resources: the tree written and read back, damage
// refused, the resource section replaced in a program, and the product's
// icon, version and manifest as the builder writes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <tuple>

#include "builder/manifest/manifest.h"
#include "builder/assembly/package_builder.h"
#include "builder/program/pe_resources.h"
#include "builder/archive/pe_version.h"
#include "builder/reading/setup_identity_view.h"
#include "builder/program/stub_resources.h"
#include "package/package_format.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kRsrcRva = 0x2000;

Bytes Filled(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(seed + i * 7);
    return b;
}

std::vector<Resource> SomeResources() {
    return {{{kResourceIcon, {}}, {2, {}}, 0x409, Filled(300, 1)},
            {{kResourceIcon, {}}, {1, {}}, 0x409, Filled(41, 2)},
            {{kResourceGroupIcon, {}}, {800, {}}, 0x409, Filled(34, 3)},
            {{0, u"PNG"}, {0, u"LOGO"}, 0x407, Filled(5, 4)},
            {{0, u"PNG"}, {0, u"LOGO"}, 0x409, Filled(6, 5)},
            {{0, u"PNG"}, {7, {}}, 0, {}},
            {{kResourceManifest, {}}, {1, {}}, 0x409, Filled(99, 6), 1252}};
}

// A program image with `tree` at kRsrcRva, as the loader lays it out.
Bytes ImageWith(const Bytes& tree) {
    Bytes image(kRsrcRva);
    image.insert(image.end(), tree.begin(), tree.end());
    return image;
}

template <class T> std::vector<T> Sorted(std::vector<T> v, bool (*less)(const T&, const T&)) {
    std::sort(v.begin(), v.end(), less);
    return v;
}
bool ByKey(const Resource& a, const Resource& b) {
    auto key = [](const Resource& r) { return std::tuple(r.type.number, r.type.text, r.name.number, r.name.text, r.language); };
    return key(a) < key(b);
}

TEST(PeResources, TreeReadsBackAsWritten) {
    Bytes tree = WriteResources(SomeResources(), kRsrcRva);
    std::vector<Resource> back = ReadResources(ImageWith(tree), kRsrcRva);
    EXPECT_EQ(Sorted(back, ByKey), Sorted(SomeResources(), ByKey));
    // Names come before numbers in each directory, as the system's lookup expects.
    EXPECT_EQ(back.front().type, (ResourceId{0, u"PNG"}));
    EXPECT_EQ(back[0].name, (ResourceId{0, u"LOGO"}));
    EXPECT_EQ(WriteResources(back, kRsrcRva), tree) << "writing what was read gives the same bytes";

    std::vector<Resource> twice = SomeResources();
    twice.push_back(twice.front());
    EXPECT_THROW(WriteResources(twice, kRsrcRva), BuildError);
}

TEST(PeResources, DamagedTreesAreRefused) {
    const Bytes tree = WriteResources(SomeResources(), kRsrcRva);
    const uint32_t first_type = 16 + 4;  // the root's first entry's target
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        const char* message;
    };
    const Case cases[] = {
        {"cut inside the root", [](Bytes& t) { t.resize(10); }, "outside the image"},
        {"a subdirectory beyond the end", [&](Bytes& t) { WriteU32(&t[first_type], 0x80000000u | 0xFFFF0); },
         "outside the image"},
        {"the root as its own subdirectory", [&](Bytes& t) { WriteU32(&t[first_type], 0x80000000u); },
         "the program's resources"},
        {"a data entry for a type", [&](Bytes& t) { WriteU32(&t[first_type], 0x10); }, "types, names and languages"},
        {"an entry count beyond the end", [](Bytes& t) { WriteU16(&t[14], 0xFFFF); }, "outside the image"},
        {"data beyond the image",
         [](Bytes& t) {
             // The last data entry: the one before the first data bytes.
             for (size_t at = 0; at + 16 <= t.size(); at += 4)
                 if (ReadU32(&t[at]) == kRsrcRva + t.size() - 99 && ReadU32(&t[at + 4]) == 99) WriteU32(&t[at + 4], 100);
         },
         "outside the image"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes damaged = tree;
        c.damage(damaged);
        try {
            ReadResources(ImageWith(damaged), kRsrcRva);
            ADD_FAILURE() << "accepted";
        } catch (const BuildError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// A small program: headers, .text, and its resources last.
Bytes Program(const std::vector<Resource>& resources) {
    Bytes tree = WriteResources(resources, kRsrcRva);
    uint32_t raw = uint32_t(tree.size() + 0x1FF) & ~0x1FFu;
    Bytes file(0x400 + raw);
    file[0] = 'M', file[1] = 'Z';
    WriteU32(&file[0x3C], 0x40);
    std::memcpy(&file[0x40], "PE\0\0", 4);
    WriteU16(&file[0x44], 0x14C);
    WriteU16(&file[0x46], 2);
    WriteU16(&file[0x54], 224);
    uint8_t* o = &file[0x58];
    WriteU16(o, 0x10B);
    WriteU32(o + 8, raw);
    WriteU32(o + 28, 0x400000);
    WriteU32(o + 32, 0x1000);
    WriteU32(o + 36, 0x200);
    WriteU32(o + 56, kRsrcRva + ((uint32_t(tree.size()) + 0xFFF) & ~0xFFFu));
    WriteU32(o + 60, 0x200);
    WriteU32(o + 92, 16);
    WriteU32(o + 96 + 16, kRsrcRva);
    WriteU32(o + 96 + 20, uint32_t(tree.size()));
    uint8_t* h = o + 224;
    std::memcpy(h, ".text", 5);
    WriteU32(h + 8, 0x200), WriteU32(h + 12, 0x1000), WriteU32(h + 16, 0x200), WriteU32(h + 20, 0x200);
    h += 40;
    std::memcpy(h, ".rsrc", 5);
    WriteU32(h + 8, uint32_t(tree.size())), WriteU32(h + 12, kRsrcRva), WriteU32(h + 16, raw), WriteU32(h + 20, 0x400);
    std::copy(tree.begin(), tree.end(), file.begin() + 0x400);
    return file;
}

TEST(PeResources, ProgramGrowsItsLastSection) {
    Bytes program = Program({SomeResources()[1]});
    std::vector<Resource> more = SomeResources();
    more.push_back({{kResourceVersion, {}}, {1, {}}, 0x409, Filled(5000, 9)});
    Bytes grown = ReplaceProgramResources(program, more);
    EXPECT_EQ(Sorted(ProgramResources(grown), ByKey), Sorted(more, ByKey));
    const uint8_t* o = &grown[0x58];
    const uint8_t* h = o + 224 + 40;
    uint32_t size = ReadU32(o + 96 + 20);
    EXPECT_EQ(ReadU32(h + 8), size);
    EXPECT_EQ(ReadU32(h + 16), (size + 0x1FF) & ~0x1FFu);
    EXPECT_EQ(grown.size(), 0x400 + ReadU32(h + 16));
    EXPECT_EQ(ReadU32(o + 56), kRsrcRva + ((size + 0xFFF) & ~0xFFFu));
    EXPECT_EQ(ReadU32(o + 8), ReadU32(h + 16));
    EXPECT_EQ(ReadU32(o + 64), PeChecksum(grown.data(), grown.size(), 0x58 + 64));
    EXPECT_TRUE(std::equal(grown.begin() + 0x200, grown.begin() + 0x400, program.begin() + 0x200)) << ".text as it was";

    Bytes with_tail = program;
    with_tail.push_back(0);
    EXPECT_THROW(ReplaceProgramResources(with_tail, more), BuildError) << "bytes after the resources";
    Bytes first = program;
    WriteU32(&first[0x58 + 96 + 16], 0x1000);  // resources in .text, which cannot grow
    EXPECT_THROW(ReplaceProgramResources(first, more), BuildError);
    EXPECT_THROW(ReplaceProgramResources(Bytes(program.begin(), program.begin() + 0x100), more), BuildError);
}

// As the linker lays a program out: its base relocations follow the
// resources. The resources grow in place and the relocations move behind
// them, bytes unchanged, their directory entry and the image size following.
TEST(PeResources, RelocationsAfterTheResourcesMoveBehindThem) {
    Bytes program = Program({SomeResources()[1]});
    const Bytes relocations = Filled(0x200, 7);
    const uint32_t reloc_rva = ReadU32(&program[0x58 + 56]);
    WriteU16(&program[0x46], 3);
    WriteU32(&program[0x58 + 56], reloc_rva + 0x1000);
    WriteU32(&program[0x58 + 96 + 40], reloc_rva);
    WriteU32(&program[0x58 + 96 + 44], 0x180);
    uint8_t* h = &program[0x58 + 224 + 80];
    std::memcpy(h, ".reloc", 6);
    WriteU32(h + 8, 0x180), WriteU32(h + 12, reloc_rva), WriteU32(h + 16, 0x200);
    WriteU32(h + 20, uint32_t(program.size()));
    program.insert(program.end(), relocations.begin(), relocations.end());

    std::vector<Resource> more = SomeResources();
    more.push_back({{kResourceVersion, {}}, {1, {}}, 0x409, Filled(9000, 9)});
    Bytes grown = ReplaceProgramResources(program, more);
    EXPECT_EQ(Sorted(ProgramResources(grown), ByKey), Sorted(more, ByKey));
    const uint8_t* o = &grown[0x58];
    const uint8_t* rsrc = o + 224 + 40;
    const uint8_t* reloc = o + 224 + 80;
    const uint32_t moved = (kRsrcRva + ReadU32(rsrc + 8) + 0xFFF) & ~0xFFFu;
    EXPECT_GT(moved, reloc_rva);
    EXPECT_EQ(ReadU32(reloc + 12), moved);
    EXPECT_EQ(ReadU32(o + 96 + 40), moved) << "the relocation directory follows its section";
    EXPECT_EQ(ReadU32(o + 96 + 44), 0x180u);
    EXPECT_EQ(ReadU32(reloc + 20), ReadU32(rsrc + 20) + ReadU32(rsrc + 16));
    EXPECT_EQ(grown.size(), ReadU32(reloc + 20) + 0x200);
    EXPECT_TRUE(std::equal(relocations.begin(), relocations.end(), grown.end() - 0x200));
    EXPECT_EQ(ReadU32(o + 56), moved + 0x1000);
    EXPECT_EQ(ReadU32(o + 64), PeChecksum(grown.data(), grown.size(), 0x58 + 64));
}

// An .ico file with images of the given sizes.
Bytes Ico(const std::vector<uint32_t>& sizes) {
    Bytes ico(6 + 16 * sizes.size());
    WriteU16(&ico[2], 1);
    WriteU16(&ico[4], uint16_t(sizes.size()));
    for (size_t i = 0; i < sizes.size(); ++i) {
        uint8_t* e = &ico[6 + 16 * i];
        e[0] = e[1] = uint8_t(16 << i);
        WriteU16(e + 4, 1), WriteU16(e + 6, 32);
        WriteU32(e + 8, sizes[i]);
        WriteU32(e + 12, uint32_t(ico.size()));
        Bytes image = Filled(sizes[i], uint8_t(40 + i));
        ico.insert(ico.end(), image.begin(), image.end());
    }
    return ico;
}

TEST(StubResources, IconProblems) {
    EXPECT_EQ(IconProblem(Ico({100, 200})), "");
    Bytes outside = Ico({100}), one = Ico({100}), two = Ico({100, 50});
    WriteU32(&outside[6 + 12], 0xFFFFFFF0u);
    const std::pair<Bytes, const char*> bad[] = {
        {Bytes{'B', 'M', 0, 0, 0, 0}, "not an icon"},
        {Ico({}), "no images"},
        {Bytes(one.begin(), one.begin() + 12), "list of images"},
        {Bytes(two.begin(), two.end() - 1), "image 2 lies outside"},
        {outside, "image 1 lies outside"},
    };
    for (const auto& [ico, message] : bad) EXPECT_NE(IconProblem(ico).find(message), std::string::npos) << message;
}

TEST(StubResources, VersionTexts) {
    std::array<uint16_t, 4> v;
    ASSERT_TRUE(ReadVersionText("1.22.333.65535", v));
    EXPECT_EQ(v, (std::array<uint16_t, 4>{1, 22, 333, 65535}));
    ASSERT_TRUE(ReadVersionText("7", v));
    EXPECT_EQ(v, (std::array<uint16_t, 4>{7, 0, 0, 0}));
    for (const char* bad : {"", "1.", ".1", "1..2", "1.2.3.4.5", "65536", "1.x", "v1", "1.2 ", "000001"})
        EXPECT_FALSE(ReadVersionText(bad, v)) << bad;
}

TEST(StubResources, DressedProgramShowsTheProduct) {
    // The setup program's own icon: group 800 with images 1 and 2; image 5 belongs to another group.
    Bytes old_group = Ico({10, 10});
    old_group.resize(6);
    for (uint16_t id : {1, 2}) {
        Bytes e(14);
        WriteU16(&e[12], id);
        old_group.insert(old_group.end(), e.begin(), e.end());
    }
    std::vector<Resource> own = {{{kResourceIcon, {}}, {1, {}}, 0x409, Filled(10, 1)},
                                 {{kResourceIcon, {}}, {2, {}}, 0x409, Filled(10, 2)},
                                 {{kResourceIcon, {}}, {5, {}}, 0x409, Filled(10, 3)},
                                 {{kResourceGroupIcon, {}}, {800, {}}, 0x409, old_group},
                                 {{kResourceManifest, {}}, {1, {}}, 0x409, Filled(10, 4)}};
    SetupIdentity id;
    id.product_name = "Ölmühle";
    id.version = "2.5.1";
    id.company = "Example Ltd";
    id.description = "Ölmühle Setup";
    id.icon = Ico({300, 200, 100});
    id.administrator = false;
    Bytes dressed = DressSetupProgram(Program(own), id);
    std::vector<Resource> got = ProgramResources(dressed);

    auto find = [&](uint16_t type, uint16_t name) {
        auto at = std::find_if(got.begin(), got.end(), [&](const Resource& r) {
            return r.type == ResourceId{type, {}} && r.name == ResourceId{name, {}};
        });
        return at == got.end() ? nullptr : &*at;
    };
    ASSERT_TRUE(find(kResourceGroupIcon, 800));
    const Bytes& group = find(kResourceGroupIcon, 800)->data;
    ASSERT_EQ(group.size(), 6u + 3 * 14);
    EXPECT_EQ(ReadU16(&group[4]), 3);
    for (int i = 0; i < 3; ++i) {
        uint16_t image = ReadU16(&group[6 + 14 * i + 12]);
        EXPECT_GT(image, 5) << "numbers no other icon uses";
        ASSERT_TRUE(find(kResourceIcon, image));
        EXPECT_EQ(find(kResourceIcon, image)->data.size(), ReadU32(&group[6 + 14 * i + 8]));
    }
    EXPECT_FALSE(find(kResourceIcon, 1)) << "the old group's images go with it";
    EXPECT_TRUE(find(kResourceIcon, 5)) << "another group's image stays";

    std::optional<PeVersion> v = ReadPeVersion(dressed);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->file_version_ms, 0x20005u);
    EXPECT_EQ(v->product_version_ls, 0x10000u);
    EXPECT_EQ(v->language, 0x409);
    const Bytes& version = find(kResourceVersion, 1)->data;
    std::u16string text(reinterpret_cast<const char16_t*>(version.data()), version.size() / 2);
    EXPECT_NE(text.find(std::u16string(u"ProductName") + u'\0' + u'\0' + u"\u00d6lm\u00fchle"), std::u16string::npos);

    std::string manifest(find(kResourceManifest, 1)->data.begin(), find(kResourceManifest, 1)->data.end());
    EXPECT_EQ(manifest, ApplicationManifest(false));
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(ApplicationManifest(true).find("level=\"requireAdministrator\""), std::string::npos);

    // What kiln inspect reads back is what was written.
    SetupIdentityView view = ReadSetupIdentity(dressed);
    EXPECT_EQ(view.file_version, "2.5.1.0");
    EXPECT_EQ(view.product_version, "2.5.1.0");
    EXPECT_EQ(view.version_texts, (std::vector<std::pair<std::string, std::string>>{
                                      {"CompanyName", "Example Ltd"},
                                      {"FileDescription", "\u00d6lm\u00fchle Setup"},
                                      {"FileVersion", "2.5.1"},
                                      {"ProductName", "\u00d6lm\u00fchle"},
                                      {"ProductVersion", "2.5.1"}}));
    ASSERT_EQ(view.icon.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(view.icon[i].width, 16u << i);
        EXPECT_EQ(view.icon[i].bit_count, 32);
        EXPECT_EQ(view.icon[i].bytes, 300 - 100 * i);
    }
    EXPECT_EQ(view.execution_level, "asInvoker");
    // A version resource cut short anywhere is no version: its outer block runs past the end.
    const Bytes whole = find(kResourceVersion, 1)->data;
    for (size_t size = 0; size < whole.size(); size += 2) {
        std::vector<Resource> shorter = got;
        for (Resource& r : shorter)
            if (r.type == ResourceId{kResourceVersion, {}}) r.data.assign(whole.begin(), whole.begin() + long(size));
        SetupIdentityView cut = ReadSetupIdentity(Program(shorter));
        EXPECT_EQ(cut.file_version, "") << size;
        EXPECT_TRUE(cut.version_texts.empty()) << size;
        EXPECT_EQ(cut.icon.size(), 3u) << size;
    }

    id.icon = Ico({});
    EXPECT_THROW(DressSetupProgram(Program(own), id), BuildError);
}

TEST(StubResources, SetupProgramCarriesTheBuildersManifest) {
    std::ifstream in(KILN_SOURCE_DIR "/programs/setup/stub.manifest", std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(file, ApplicationManifest(false));
}

struct Folder {
    fs::path dir = fs::temp_directory_path() /
                   ("kiln-identity-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    Folder() {
        fs::create_directories(dir);
        std::ofstream(dir / "a.txt") << "a";
        Bytes ico = Ico({64});
        std::ofstream(dir / "app.ico", std::ios::binary).write(reinterpret_cast<const char*>(ico.data()), 64 + 22);
        std::ofstream(dir / "cut.ico", std::ios::binary).write(reinterpret_cast<const char*>(ico.data()), 60);
    }
    ~Folder() { fs::remove_all(dir); }
    std::string Write(const std::string& setup, const std::string& folder) {
        std::ofstream(dir / "kiln.toml") << "[setup]\ntitle = \"T\"\n" << setup << "\n[[type]]\n" << folder
                                         << "[[type.file]]\nsource = \"a.txt\"\n";
        return (dir / "kiln.toml").string();
    }
};

TEST(StubResources, ManifestGivesTheIdentity) {
    Folder f;
    SetupIdentity id = LoadManifest(f.Write("", "")).identity;
    EXPECT_EQ(id.product_name, "T");
    EXPECT_EQ(id.description, "T Setup");
    EXPECT_EQ(id.version, "");
    EXPECT_FALSE(id.icon);
    EXPECT_TRUE(id.administrator) << "the default folder is in Program Files";
    EXPECT_FALSE(LoadManifest(f.Write("", "folder = \"C:\\\\T\"\n")).identity.administrator);
    EXPECT_TRUE(LoadManifest(f.Write("", "folder = \"#PROGRAM FILES#\\\\T\"\n")).identity.administrator);
    EXPECT_TRUE(LoadManifest(f.Write("privileges = \"admin\"", "folder = \"C:\\\\T\"\n")).identity.administrator);
    id = LoadManifest(f.Write("privileges = \"user\"\nicon = \"app.ico\"\nversion = \"1.2\"\ncompany = \"C\"\n"
                              "description = \"D\"\ncopyright = \"(c) C\"",
                              ""))
             .identity;
    EXPECT_FALSE(id.administrator);
    ASSERT_TRUE(id.icon);
    EXPECT_EQ(id.icon->size(), 86u);
    EXPECT_EQ(id.version + id.company + id.description + id.copyright, "1.2CD(c) C");

    const std::pair<std::string, std::string> bad[] = {
        {"icon = \"cut.ico\"", ":4: setup.icon: " + (f.dir / "cut.ico").string() + " image 1 lies outside"},
        {"icon = \"none.ico\"", ":4: setup.icon: no such file"},
        {"version = \"1.2.3.4.5\"", ":4: setup.version: expected one to four numbers"},
        {"privileges = \"root\"", ":4: setup.privileges: expected one of user, admin"},
    };
    for (const auto& [setup, message] : bad) {
        std::string path = f.Write("\n" + setup, "");
        try {
            LoadManifest(path);
            ADD_FAILURE() << setup;
        } catch (const ManifestError& e) {
            EXPECT_EQ(std::string(e.what()).find(path + message), 0u) << e.what();
        }
    }
}

}  // namespace
