// Shell links read back through the shell's link object: target, working
// directory, arguments and icon location as they were given.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "engine/shell_link.h"

namespace {

struct LinkContents {
    std::string path, working_directory, arguments, icon;
    int icon_index = -1;
};

// Loads a link file with a fresh link object.
bool ReadLink(const std::string& link_path, LinkContents* out) {
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return false;
    IPersistFile* file = nullptr;
    bool loaded = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, link_path.c_str(), -1, wide, MAX_PATH);
        loaded = SUCCEEDED(file->Load(wide, STGM_READ));
        file->Release();
    }
    if (loaded) {
        char text[MAX_PATH];
        text[0] = 0;
        link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
        out->path = text;
        text[0] = 0;
        link->GetWorkingDirectory(text, MAX_PATH);
        out->working_directory = text;
        text[0] = 0;
        link->GetArguments(text, MAX_PATH);
        out->arguments = text;
        text[0] = 0;
        link->GetIconLocation(text, MAX_PATH, &out->icon_index);
        out->icon = text;
    }
    link->Release();
    return loaded;
}

class ShellLink : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "kiln-links-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), nullptr);
        target_ = folder_ + "\\App Folder\\app.exe";
        CreateDirectoryA((folder_ + "\\App Folder").c_str(), nullptr);
        HANDLE h = CreateFileA(target_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(h);
    }
    void TearDown() override {
        DeleteFileA(target_.c_str());
        RemoveDirectoryA((folder_ + "\\App Folder").c_str());
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder_ + "\\*.lnk").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do DeleteFileA((folder_ + "\\" + found.cFileName).c_str());
            while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(folder_.c_str());
        CoUninitialize();
    }
    std::string folder_, target_;
};

TEST_F(ShellLink, DesktopStyleShortcutReadsBack) {
    std::string link = folder_ + "\\Kiln App.lnk";
    ASSERT_EQ(CreateShellLink(target_.c_str(), link.c_str(), "/quiet \"a b\"", 0), S_OK);
    LinkContents c;
    ASSERT_TRUE(ReadLink(link, &c));
    EXPECT_EQ(lstrcmpiA(c.path.c_str(), target_.c_str()), 0) << c.path;
    EXPECT_EQ(lstrcmpiA(c.working_directory.c_str(), (folder_ + "\\App Folder").c_str()), 0) << c.working_directory;
    EXPECT_EQ(c.arguments, "/quiet \"a b\"");
    EXPECT_EQ(c.icon, "") << "a desktop shortcut gets no icon location";
}

TEST_F(ShellLink, ArgumentsAndIconOnlyWhenGiven) {
    struct Case {
        const char* label;
        const char* arguments;
        int icon_index;
        std::string arguments_read;
        bool has_icon;
    } cases[] = {
        {"no arguments", nullptr, 0, "", false},
        {"empty arguments", "", 0, "", false},
        {"icon 3", "-x", 3, "-x", true},
    };
    for (const Case& c : cases) {
        std::string link = folder_ + "\\" + c.label + ".lnk";
        ASSERT_EQ(CreateShellLink(target_.c_str(), link.c_str(), c.arguments, c.icon_index), S_OK) << c.label;
        LinkContents read;
        ASSERT_TRUE(ReadLink(link, &read)) << c.label;
        EXPECT_EQ(read.arguments, c.arguments_read) << c.label;
        if (c.has_icon) {
            EXPECT_EQ(lstrcmpiA(read.icon.c_str(), target_.c_str()), 0) << c.label;
            EXPECT_EQ(read.icon_index, c.icon_index) << c.label;
        } else {
            EXPECT_EQ(read.icon, "") << c.label;
        }
    }
}

TEST_F(ShellLink, WorkingDirectoryOfRootAndBareTargets) {
    std::string root_link = folder_ + "\\root.lnk";
    ASSERT_EQ(CreateShellLink("C:\\kiln-root-app.exe", root_link.c_str(), nullptr, 0), S_OK);
    LinkContents c;
    ASSERT_TRUE(ReadLink(root_link, &c));
    EXPECT_EQ(c.working_directory, "C:\\") << "a drive root keeps its backslash";

    std::string bare_link = folder_ + "\\bare.lnk";
    ASSERT_EQ(CreateShellLink("notepad.exe", bare_link.c_str(), nullptr, 0), S_OK);
    ASSERT_TRUE(ReadLink(bare_link, &c));
    EXPECT_EQ(c.working_directory, "") << "a target without a folder gets none";
}

TEST_F(ShellLink, LinkPathThatDoesNotFitIsNotSaved) {
    std::string link = folder_ + "\\" + std::string(300, 'n') + ".lnk";
    EXPECT_NE(CreateShellLink(target_.c_str(), link.c_str(), nullptr, 0), S_OK);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder_ + "\\n*").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

}  // namespace
