// kiln extract: where each entry lands below the output folder, the names
// it refuses, and a setup file with a hostile name or a planted link that
// writes nothing at all.
#include <gtest/gtest.h>

#include <fstream>

#include "builder/reading/extract_paths.h"
#include "builder/assembly/package_builder.h"
#include "builder/reading/package_check.h"
#include "builder/reading/setup_extractor.h"
#include "package/file_list.h"
#include "package/package_format.h"
#include "tests/host/package_fixtures.h"

namespace fs = std::filesystem;

namespace {

Bytes Entry(const std::string& name, uint8_t kind, uint8_t placement) {
    Bytes e(kEntryFixedSize);
    e[kEntryDestinationKind] = kind;
    e[kEntryPlacement] = placement;
    e.insert(e.end(), name.begin(), name.end());
    e.insert(e.end(), 6, 0);  // its terminator and five empty strings
    WriteU16(&e[kEntrySize], uint16_t(e.size()));
    return e;
}

TEST(ExtractPath, TargetLayout) {
    const struct {
        const char* name;
        uint8_t kind, placement;
        const char* path;
    } cases[] = {
        {"readme.txt", kDestinationFolder, kPlacementKept, "readme.txt"},
        {"docs\\sub\\a.txt", kDestinationFolder, kPlacementRemoved, "docs/sub/a.txt"},
        {"x.txt", 7, kPlacementKept, "x.txt"},  // an unknown kind installs like kind 0
        {"sys\\a.ini", kDestinationWindows, kPlacementKept, "#Windows#/sys/a.ini"},
        {"sub\\shared.dll", kDestinationShared, kPlacementKept, "#System#/shared.dll"},  // by its name alone
        {"f.ttf", kDestinationFonts, kPlacementKept, "#Fonts#/f.ttf"},
        {"data\\cache\\", kDestinationFolder, kPlacementFolder, "data/cache"},
        {"#Windows#\\x", kDestinationFolder, kPlacementKept, "#Windows#/x"},
    };
    for (const auto& c : cases) {
        std::string refusal;
        EXPECT_EQ(ExtractPath(Entry(c.name, c.kind, c.placement).data(), &refusal), c.path) << c.name;
        EXPECT_EQ(refusal, "") << c.name;
    }
}

TEST(ExtractPath, RefusesNamesThatLeaveTheFolderOrWindowsCannotHold) {
    const char* const names[] = {
        "",          "..\\x",     "a\\..\\..\\x", "..",        "\\x",   "/etc/passwd", "\\\\server\\share\\x",
        "C:\\x",     "c:x",       "a\\b:stream",  "CON",       "nul.txt", "a\\Com1.log", "LPT9",
        "a\\\\b",    "a\\",       "name.",        "name ",     "...",   "a\\.\\b",     "a\001b",
        "a*b",       "a?b",       "a|b",          "a<b",       "a\"b",
    };
    for (const char* name : names) {
        std::string refusal;
        EXPECT_EQ(ExtractPath(Entry(name, kDestinationFolder, kPlacementKept).data(), &refusal), "") << name;
        EXPECT_NE(refusal, "") << name;
    }
    // Outside the install folder as well.
    std::string refusal;
    EXPECT_EQ(ExtractPath(Entry("..\\x.dll", kDestinationShared, kPlacementKept).data(), &refusal), "");
    EXPECT_EQ(ExtractPath(Entry("..\\x", kDestinationWindows, kPlacementKept).data(), &refusal), "");
}

// The example product with a.txt and sub/b.txt, the second entry renamed in
// place (the new name has the old one's length).
struct Package {
    ScratchFolder folder;
    fs::path setup;
    explicit Package(const std::string& second_name) {
        Product product = ProductWith({{FileFrom(folder.Write("in/a.txt", Noise(3000, 1)), "a.txt"),
                                        FileFrom(folder.Write("in/b.txt", Noise(3000, 2)), "sub\\b.txt")},
                                       {}});
        Bytes bytes = BuildSetupFile(product, FakeStub());
        if (second_name != "sub\\b.txt") {
            PackageView v = CheckPackage(bytes);
            const ReadRecord& r = *v.types.at(0).file_list;
            Bytes body = r.body;
            uint8_t* second = NextEntry(body.data() + kFileListHeaderSize);
            char* name = const_cast<char*>(EntryString(second, 0));
            EXPECT_EQ(std::string(name).size(), second_name.size());
            std::copy(second_name.begin(), second_name.end(), name);
            Bytes out(bytes.begin(), bytes.begin() + long(r.offset));
            AppendRecord(out, r.tag, body, 1);
            out.insert(out.end(), bytes.begin() + long(r.offset + kRecordHeaderSize + r.stored_size), bytes.end());
            bytes = out;
        }
        setup = folder.Write("setup.exe", bytes);
    }
    // Every file below the scratch folder's "out" folder.
    std::vector<std::string> Written() const {
        std::vector<std::string> found;
        if (fs::exists(folder.dir / "out"))
            for (const auto& f : fs::recursive_directory_iterator(folder.dir / "out"))
                found.push_back(fs::relative(f.path(), folder.dir / "out").string());
        std::sort(found.begin(), found.end());
        return found;
    }
};

TEST(ExtractSetup, WritesTheTypesFilesWithTheirBytes) {
    Package p("sub\\b.txt");
    ASSERT_EQ(ExtractSetup(p.setup.string(), (p.folder.dir / "out/x").string(), 0), 0);
    EXPECT_EQ(p.Written(), (std::vector<std::string>{"x", "x/a.txt", "x/sub", "x/sub/b.txt"}));
    std::ifstream in(p.folder.dir / "out/x/sub/b.txt", std::ios::binary);
    EXPECT_EQ(Bytes((std::istreambuf_iterator<char>(in)), {}), Noise(3000, 2));
    EXPECT_EQ(ExtractSetup(p.setup.string(), (p.folder.dir / "out/y").string(), 2), 1);  // no such type
}

TEST(ExtractSetup, AHostileNameWritesNothing) {
    for (const char* name : {"..\\bb.txt", "..\\..\\b.t", "\\tmp\\b.tx", "C:\\b.txtx"}) {
        Package p(name);
        EXPECT_EQ(ExtractSetup(p.setup.string(), (p.folder.dir / "out/x").string(), 0), 1) << name;
        EXPECT_EQ(p.Written(), std::vector<std::string>{}) << name;
        EXPECT_FALSE(fs::exists(p.folder.dir / "b.t")) << name;
    }
}

// Names Windows takes for one file: verify reports them, extract writes nothing.
TEST(ExtractSetup, NamesOfOneFileWriteNothing) {
    for (const char* name : {"a.txt\\b.t", "A.TXT\\x\\y"}) {
        Package p(name);
        PackageView v = CheckPackage(ReadWholeFile(p.setup.string()));
        ASSERT_FALSE(v.problems.empty()) << name;
        EXPECT_NE(v.problems.back().find("setup type 0: entry 0 ('a.txt') is a file, but entry 1"), std::string::npos) << name << ": " << v.problems.back();
        EXPECT_EQ(ExtractSetup(p.setup.string(), (p.folder.dir / "out/x").string(), 0), 1) << name;
        EXPECT_EQ(p.Written(), std::vector<std::string>{}) << name;
    }
    // Two entries of one name in other cases, the first of which alone
    // would extract: the clash is found before either is written.
    ScratchFolder folder;
    Product product = ProductWith({{FileFrom(folder.Write("in/a.dll", Noise(3000, 1)), "Bin\\App.dll"),
                                    FileFrom(folder.Write("in/b.dll", Noise(3000, 2)), "bin\\app.DLL")}});
    fs::path setup = folder.Write("setup.exe", BuildSetupFile(product, FakeStub()));
    PackageView v = CheckPackage(ReadWholeFile(setup.string()));
    ASSERT_FALSE(v.problems.empty());
    EXPECT_NE(v.problems.back().find("entry 1 ('bin\\app.DLL') names the same file as entry 0 ('Bin\\App.dll')"),
              std::string::npos)
        << v.problems.back();
    EXPECT_EQ(ExtractSetup(setup.string(), (folder.dir / "out").string(), 0), 1);
    EXPECT_FALSE(fs::exists(folder.dir / "out"));
}

TEST(ExtractSetup, ALinkInTheFolderIsNotFollowed) {
    Package p("sub\\b.txt");
    fs::create_directories(p.folder.dir / "out/x");
    fs::create_directories(p.folder.dir / "elsewhere");
    fs::create_directory_symlink(p.folder.dir / "elsewhere", p.folder.dir / "out/x/sub");
    EXPECT_EQ(ExtractSetup(p.setup.string(), (p.folder.dir / "out/x").string(), 0), 1);
    EXPECT_TRUE(fs::is_empty(p.folder.dir / "elsewhere"));
    EXPECT_FALSE(fs::exists(p.folder.dir / "out/x/a.txt"));
}

}  // namespace
