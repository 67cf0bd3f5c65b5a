// The one rule set for target names: the same table of names is refused by
// the rules themselves, by `kiln build` (the manifest) and by `kiln extract`,
// and accepted by all three; clashes within a setup type; install variables.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "builder/reading/extract_paths.h"
#include "builder/manifest/manifest.h"
#include "builder/manifest/target_rules.h"
#include "package/package_format.h"

namespace fs = std::filesystem;

namespace {

Bytes Entry(const std::string& name, uint8_t placement) {
    Bytes e(kEntryFixedSize);
    e[kEntryPlacement] = placement;
    e.insert(e.end(), name.begin(), name.end());
    e.insert(e.end(), 6, 0);  // its terminator and five empty strings
    WriteU16(&e[kEntrySize], uint16_t(e.size()));
    return e;
}

struct Folder {
    fs::path dir = fs::temp_directory_path() /
                   ("kiln-rules-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    Folder() {
        fs::create_directories(dir);
        std::ofstream(dir / "a.txt") << "a";
    }
    ~Folder() { fs::remove_all(dir); }
    // The manifest's error, or "" when it loads.
    std::string Load(const std::string& types) {
        std::ofstream(dir / "kiln.toml") << "[setup]\ntitle = \"T\"\n" << types;
        try {
            LoadManifest((dir / "kiln.toml").string());
            return {};
        } catch (const ManifestError& e) {
            return e.what();
        }
    }
};

std::string Quoted(const std::string& s) {
    std::string q = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') q += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char u[8];
            std::snprintf(u, sizeof u, "\\u%04X", c);
            q += u;
            continue;
        }
        q += c;
    }
    return q + "\"";
}

TEST(TargetRules, OneTableForBuildAndExtract) {
    const struct {
        const char* target;
        bool folder;
        const char* fault;  // "" accepted
    } cases[] = {
        {"readme.txt", false, ""},
        {"docs\\sub\\a.txt", false, ""},
        {"data\\cache\\", true, ""},
        {"#Windows#\\x.ini", false, ""},
        {"..\\..\\Windows\\reports.dll", false, "holds a path piece '..'"},
        {"a\\.\\b", false, "holds a path piece '.'"},
        {"...", false, "holds a path piece '...'"},
        {"\\x", false, "is an absolute path"},
        {"\\\\server\\share\\x", false, "is an absolute path"},
        {"C:\\x", false, "is a drive letter"},
        {"a\\b:stream", false, "holds the character ':'"},
        {"con.dll", false, "holds the device name 'con.dll'"},
        {"COM1.txt", false, "holds the device name 'COM1.txt'"},
        {"a\\lpt9", false, "holds the device name 'lpt9'"},
        {"CONIN$", false, "holds the device name 'CONIN$'"},
        {"a*b", false, "holds the character '*'"},
        {"a?b", false, "holds the character '?'"},
        {"a|b", false, "holds the character '|'"},
        {"a<b>", false, "holds the character '<'"},
        {"a\"b", false, "holds the character '\"'"},
        {"a\001b", false, "holds a control character"},
        {"name.", false, "holds a path piece ending in '.'"},
        {"name ", false, "holds a path piece ending in ' '"},
        {"a\\\\b", false, "holds an empty path piece"},
    };
    Folder f;
    for (const auto& c : cases) {
        std::string fault = TargetFault(c.target, c.folder);
        EXPECT_EQ(fault, c.fault) << c.target;
        std::string refusal, path = ExtractPath(Entry(c.target, c.folder ? kPlacementFolder : kPlacementKept).data(), &refusal);
        EXPECT_EQ(path.empty(), *c.fault != 0) << c.target;
        EXPECT_NE(refusal.find(c.fault), std::string::npos) << c.target << ": " << refusal;
        std::string file = c.folder ? "placement = \"folder\"\n" : "source = \"a.txt\"\n";
        std::string error = f.Load("[[type]]\n[[type.file]]\n" + file + "target = " + Quoted(c.target) + "\n");
        if (!*c.fault) EXPECT_EQ(error, "") << c.target;
        else EXPECT_NE(error.find(":6: type[0].file[0].target: the target"), std::string::npos) << c.target << ": " << error;
        if (*c.fault) EXPECT_NE(error.find(c.fault), std::string::npos) << c.target << ": " << error;
    }
}

TEST(TargetRules, ClashesAsWindowsComparesNames) {
    const struct {
        std::vector<TargetItem> items;
        std::vector<size_t> at;  // the entries the clashes are reported at
    } cases[] = {
        {{{"Readme.txt"}, {"README.TXT"}}, {1}},
        {{{"Bin\\App.dll"}, {"bin\\app.DLL"}}, {1}},  // folders compare without case too
        {{{"Bin\\App.dll"}, {"bin/app.DLL"}}, {1}},  // either separator
        {{{"a.txt"}, {"b.txt"}, {"sub\\a.txt"}}, {}},
        {{{"x"}, {"x\\y.txt"}}, {1}},
        {{{"x\\y.txt"}, {"X"}}, {1}},
        {{{"data\\", 0, true}, {"data"}}, {1}},
        {{{"a.dll", kDestinationWindows}, {"a.dll"}}, {}},  // other folders
        {{{"a\\f.dll", kDestinationShared}, {"b\\F.DLL", kDestinationShared}}, {1}},  // by their names alone
        {{{"a.txt"}, {"a.txt", 0, false, false}}, {}},  // beside the setup file: never written
        {{{"lib\\", 0, true}, {"lib\\", 0, true}, {"lib\\a"}}, {}},  // folders may repeat
    };
    for (const auto& c : cases) {
        std::vector<size_t> at;
        for (const TargetClash& clash : TargetClashes(c.items)) at.push_back(clash.entry);
        EXPECT_EQ(at, c.at) << c.items[0].target << " / " << c.items[1].target;
    }
    Folder f;
    EXPECT_NE(f.Load("[[type]]\n[[type.file]]\nsource = \"a.txt\"\ntarget = \"Readme.txt\"\n"
                     "[[type.file]]\nsource = \"a.txt\"\ntarget = \"README.TXT\"\n")
                  .find(":9: type[0].file[1].target: entry 1 ('README.TXT') names the same file as entry 0"),
              std::string::npos);
}

TEST(TargetRules, InstallVariablesAndSuggestions) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"#Program Files#\\Acme", ""},
        {"#program files#\\Acme", ""},  // the setup program compares without case
        {"#InstallDir#\\a.txt", ""},
        {"C:\\#1# and #2#", ""},  // not words: no variable
        {"#InstalDir#\\x", "'#InstalDir#' is no install variable (did you mean '#InstallDir#'?)"},
        {"#ProgramFiles#\\x", "(did you mean '#Program Files#'?)"},
        {"#Nowhere At All#", "'#Nowhere At All#' is no install variable"},
    };
    for (const auto& c : cases) {
        std::string m = UnknownVariable(c.text);
        if (!*c.message) EXPECT_EQ(m, "") << c.text;
        else EXPECT_NE(m.find(c.message), std::string::npos) << c.text << ": " << m;
    }
    EXPECT_EQ(UnknownVariable("#Nowhere At All#").find("did you mean"), std::string::npos);
    EXPECT_EQ(Suggestion("buidl", {"build", "inspect", "verify"}), "build");
    EXPECT_EQ(Suggestion("zzz", {"build", "inspect"}), "");
    Folder f;
    EXPECT_NE(f.Load("[[type]]\nfolder = \"#ProgramFiles#\\\\Acme\"\n[[type.file]]\nsource = \"a.txt\"\n")
                  .find(":4: type[0].folder: '#ProgramFiles#' is no install variable"),
              std::string::npos);
}

}  // namespace
