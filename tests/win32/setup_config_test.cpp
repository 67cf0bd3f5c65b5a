// The setup configuration: text lookup, switching setup types, and the
// proposal of a destination folder from a previous installation.
#include <gtest/gtest.h>
#include <windows.h>

#include "package/previous_installation.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "tests/win32/test_files.h"
#include "tests/win32/package_file.h"

namespace {

// Puts records straight into the configuration, as the loader would.
void UseTypes(std::vector<Bytes>& records) {
    FreeSetupConfig();
    for (size_t k = 0; k < records.size(); ++k) {
        g_config.types[k].record = {records[k].data(), uint32_t(records[k].size())};
        lstrcpynA(g_config.types[k].destination_folder, ("C:\\Folder" + std::to_string(k)).c_str(), kPathSize);
    }
    g_config.type_count = int(records.size());
}

void Release() {
    for (SetupType& t : g_config.types) t.record = {nullptr, 0};  // owned by the test
    FreeSetupConfig();
}

TEST(SetupConfig, TextLookup) {
    ProductType t;
    t.texts[0] = {"only"};
    t.texts[6] = {"title", "", "third"};
    std::vector<Bytes> records = {SetupTypeRecord(t)};
    UseTypes(records);
    EXPECT_STREQ(LookUpText(0, 0), "") << "nothing selected yet";
    SelectSetupType(0);
    struct Case {
        int group, index;
        const char* text;
    } cases[] = {
        {0, 0, "only"}, {0, 1, ""},  {6, 0, "title"}, {6, 1, ""}, {6, 2, "third"}, {6, 3, ""},
        {1, 0, ""},     {11, 0, ""}, {-1, 0, ""},     {6, -1, ""},
    };
    for (const Case& c : cases) EXPECT_STREQ(LookUpText(c.group, c.index), c.text) << c.group << "." << c.index;
    Release();
}

TEST(SetupConfig, SwitchingKeepsEachTypesFolder) {
    ProductType a, b;
    a.texts[0] = {"A"};
    b.texts[0] = {"B"};
    std::vector<Bytes> records = {SetupTypeRecord(a), SetupTypeRecord(b)};
    UseTypes(records);
    SelectSetupType(0);
    EXPECT_STREQ(g_state.destination_folder, "C:\\Folder0");
    lstrcpyA(g_state.destination_folder, "D:\\Typed by the user");
    SelectSetupType(1);
    EXPECT_STREQ(LookUpText(0, 0), "B");
    EXPECT_STREQ(g_state.destination_folder, "C:\\Folder1");
    SelectSetupType(0);
    EXPECT_STREQ(LookUpText(0, 0), "A");
    EXPECT_STREQ(g_state.destination_folder, "D:\\Typed by the user");
    Release();
}

// A remembered folder in HKCU\Software\Kiln Tests, removed afterwards.
struct RememberedFolder {
    explicit RememberedFolder(const char* value) {
        HKEY key;
        RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Kiln Tests", &key);
        RegSetValueExA(key, "Folder", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), DWORD(strlen(value) + 1));
        RegCloseKey(key);
    }
    ~RememberedFolder() { RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Kiln Tests"); }
};

std::string Detect(const ProductType& t, const char* before = "") {
    lstrcpyA(g_state.destination_folder, before);
    Bytes record = SetupTypeRecord(t);
    DetectPreviousInstallation(record.data());
    return g_state.destination_folder;
}

ProductType RegistryType(const char* fallback) {
    ProductType t;
    if (fallback) t.default_folder = fallback;
    t.registry_root = 1;
    t.registry_key = "Software\\Kiln Tests";
    t.registry_value = "Folder";
    return t;
}

TEST(PreviousInstallation, FromTheRegistry) {
    std::string windows = WindowsFolder();  // C:\windows under Wine
    std::string shouting = windows;
    CharUpperA(shouting.data());
    struct Case {
        const char* name;
        std::string remembered;
        std::string expected;
    } cases[] = {
        {"existing folder, respelt", shouting + "\\SYSTEM32", windows + "\\system32"},
        {"missing last folder shrinks to the parent", shouting + "\\no such folder", windows},
        {"drive that does not exist", "Q:\\Kiln\\App", ""},
        {"drive root stays as it is", "C:\\", "C:\\"},
    };
    for (const Case& c : cases) {
        RememberedFolder r(c.remembered.c_str());
        EXPECT_EQ(Detect(RegistryType("#Windows#\\Fallback")), c.expected) << c.name;
    }
    // No remembered value: the default folder, expanded.
    EXPECT_EQ(Detect(RegistryType("#Windows#\\Fallback")), windows + "\\Fallback");
}

TEST(PreviousInstallation, FromAnIniFile) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    std::string ini = std::string(folder) + "kiln-detect.ini";
    std::string windows = WindowsFolder();
    WritePrivateProfileStringA("Setup", "Folder", (windows + "\\gone\\deeper").c_str(), ini.c_str());
    ProductType t;
    t.default_folder = "#Windows#\\Fallback";
    t.ini_file = ini, t.ini_section = "Setup", t.ini_key = "Folder";
    EXPECT_EQ(Detect(t), windows);
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
    DeleteFileA(ini.c_str());
    EXPECT_EQ(Detect(t), windows + "\\Fallback") << "no INI file: the default folder";
}

TEST(PreviousInstallation, WithoutDefaultFolderKeepsThePreviousProposal) {
    ProductType t;
    EXPECT_EQ(Detect(t, "C:\\Proposed before"), "C:\\Proposed before");
}

}  // namespace
