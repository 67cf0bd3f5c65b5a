// Programs the setup program starts: a program whose path has blanks, the
// uninstallers of the other setup types (run with /X, waited for, then
// deleted), and the program associated with the installed document when the
// shell cannot open it, with the document's path as one argument.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "decoder/archive.h"
#include "engine/open_document.h"
#include "engine/programs.h"
#include "tests/win32/installed_package.h"

namespace {

const std::string kPid = std::to_string(GetCurrentProcessId());
const char kUninstallPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The lines the recorder wrote beside itself: its command line, then each
// argument. Waits for the recorder when it was started without waiting.
std::vector<std::string> RecordedLines(const std::string& program, DWORD wait_ms = 0) {
    std::string path = program + ".args";
    for (DWORD waited = 0; !Exists(path) && waited < wait_ms; waited += 50) Sleep(50);
    Sleep(wait_ms ? 100 : 0);  // the recorder writes, then closes
    Bytes bytes = ReadFileBytes(path);
    std::vector<std::string> lines;
    if (!Exists(path)) return lines;
    std::string text(bytes.begin(), bytes.end());
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

class Programs : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = TempFolder("kiln programs");
        CreateDirectoryA(folder_.c_str(), nullptr);
    }
    void TearDown() override {
        for (const std::string& key : keys_) RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str()), RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
        RemoveTree(folder_);
        SetShellOpener(nullptr);
    }
    // A copy of the recorder at folder\name.
    std::string Recorder(const std::string& name) {
        std::string path = folder_ + name;
        CreateDirectoryA(path.substr(0, path.rfind('\\')).c_str(), nullptr);
        EXPECT_TRUE(CopyFileA(BuildTreePath(KILN_RECORDER_PATH).c_str(), path.c_str(), FALSE)) << path;
        return path;
    }
    // An uninstall entry whose "UninstallString" is value.
    void UninstallEntry(const std::string& name, const std::string& value) {
        std::string key = kUninstallPrefix + name;
        keys_.push_back(key);
        HKEY h;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, key.c_str(), &h), ERROR_SUCCESS);
        RegSetValueExA(h, "UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD(value.size() + 1));
        RegCloseKey(h);
    }
    std::string folder_;
    std::vector<std::string> keys_;
};

TEST_F(Programs, ProgramWithBlanksInItsPathRunsWithItsArguments) {
    std::string program = Recorder("with blanks\\my tool.exe");
    // What an unquoted command line would run instead.
    std::string decoy = Recorder("with.exe");
    HANDLE process = nullptr;
    ASSERT_EQ(RunProgram(program.c_str(), "/X \"an argument\"", &process), 1);
    EXPECT_EQ(IsRunning(process), 1);
    WaitForSingleObject(process, 10000);
    EXPECT_EQ(IsRunning(process), 0);
    CloseHandle(process);
    EXPECT_EQ(RecordedLines(program),
              (std::vector<std::string>{"\"" + program + "\" /X \"an argument\"", "/X", "an argument"}));
    EXPECT_TRUE(RecordedLines(decoy).empty());

    EXPECT_EQ(RunProgram((folder_ + "missing.exe").c_str(), "", &process), 0);
    EXPECT_EQ(process, nullptr);
    std::string too_long(600, 'a');
    EXPECT_EQ(RunProgram(program.c_str(), too_long.c_str(), &process), 0) << "not run with its arguments cut";
}

// Setup type 0 removes the installations of types 1 to 3 before its own:
// type 1's uninstaller runs with /X and is deleted once it has ended; type
// 2's entry is a command line, not a file; type 3 carries no uninstaller.
TEST_F(Programs, OtherSetupTypesInstallationsAreRemovedFirst) {
    std::string first = Recorder("one\\uninst.exe"), second = Recorder("two\\uninst.exe"),
                third = Recorder("three\\uninst.exe");
    const std::string names[] = {"Kiln Remove 0 " + kPid, "Kiln Remove 1 " + kPid, "Kiln Remove 2 " + kPid,
                                 "Kiln Remove 3 " + kPid};
    UninstallEntry(names[1], first);
    UninstallEntry(names[2], "\"" + second + "\" /X");
    UninstallEntry(names[3], third);

    PackageContents p;
    p.uninstaller = Bytes(8, 0);
    for (const std::string& name : names) {
        PackagedType t{TestType(name, folder_ + "dest\\"), {}};
        PackagedFile uninstaller = FileOf("uninst.exe", {});
        uninstaller.file.uninstaller = name != names[3];
        t.files.push_back(uninstaller);
        p.types.push_back(t);
    }
    for (bool remove : {false, true}) {
        p.setup_flags = remove ? kSetupRemoveOtherTypes : 0;
        InstalledPackage installed(p, 0, folder_ + "dest\\");
        ASSERT_TRUE(installed.loaded);
        ASSERT_EQ(StartInstall(), 1);
        CloseArchive();
        // Ended before StartInstall returned: its record is written, its file gone.
        std::vector<std::string> expected;
        if (remove) expected = {"\"" + first + "\" /X", "/X"};
        EXPECT_EQ(RecordedLines(first), expected) << remove;
        EXPECT_EQ(Exists(first), !remove);
    }
    EXPECT_TRUE(RecordedLines(second).empty());
    EXPECT_TRUE(Exists(second));
    EXPECT_TRUE(RecordedLines(third).empty());
}

// --- Opening the installed document ----------------------------------------------

HINSTANCE WINAPI ShellCannotOpen(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) {
    return reinterpret_cast<HINSTANCE>(SE_ERR_NOASSOC);
}

class OpenDocument : public Programs {
protected:
    void SetUp() override {
        Programs::SetUp();
        SetShellOpener(ShellCannotOpen);
        ResetProcessState();
    }
    void TearDown() override {
        for (const std::string& key : classes_) RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str()), RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
        ResetProcessState();
        Programs::TearDown();
    }
    // extension -> class -> its open command.
    void Associate(const std::string& extension, const std::string& command) {
        std::string class_name = "KilnTest" + kPid + extension;
        SetDefault(extension, class_name);
        SetDefault(class_name + "\\shell\\open\\command", command);
        classes_.push_back(extension);
        classes_.push_back(class_name);
    }
    void SetDefault(const std::string& key_path, const std::string& value) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, key_path.c_str(), &key), ERROR_SUCCESS);
        RegSetValueA(key, nullptr, REG_SZ, value.c_str(), DWORD(value.size()));
        RegCloseKey(key);
    }
    std::string Document(const std::string& name) {
        std::string path = folder_ + "my documents\\" + name;
        CreateDirectoryA((folder_ + "my documents").c_str(), nullptr);
        WriteFileBytes(path, {'d', 'o', 'c'});
        return path;
    }
    std::vector<std::string> classes_;
};

TEST_F(OpenDocument, FallbackPassesThePathWithBlanksAsOneArgument) {
    struct Case {
        const char* extension;
        const char* command;  // {} stands for the program
        const char* expected_head;
    } cases[] = {
        {".kilnq", "\"{}\" \"%1\" /dropped", "\"{}\" "},  // the quoted placeholder and what follows go
        {".kilnb", "\"{}\" %1 /dropped", "\"{}\" "},
        {".kilnn", "\"{}\" /view", "\"{}\" /view"},     // no placeholder: the path is appended
    };
    for (const Case& c : cases) {
        std::string program = Recorder(std::string("viewer") + c.extension + "\\view it.exe");
        auto fill = [&program](std::string text) {
            for (size_t at; (at = text.find("{}")) != std::string::npos;) text.replace(at, 2, program);
            return text;
        };
        Associate(c.extension, fill(c.command));
        std::string document = Document(std::string("read me") + c.extension);
        lstrcpynA(g_state.document_to_open, document.c_str(), MAX_PATH);
        OpenInstalledDocument();
        std::vector<std::string> lines = RecordedLines(program, 10000);
        ASSERT_FALSE(lines.empty()) << c.extension;
        EXPECT_EQ(lines[0], fill(c.expected_head) + " \"" + document + "\"") << c.extension;
        EXPECT_EQ(lines.back(), document) << c.extension << ": one argument";
    }
}

TEST_F(OpenDocument, ExtensionIsTheFileNames) {
    // A dot in a folder name is no extension: the document is looked up under ".".
    std::string program = Recorder("viewer dot\\view.exe");
    Associate(".", "\"" + program + "\" \"%1\"");
    CreateDirectoryA((folder_ + "v1.0").c_str(), nullptr);
    std::string document = folder_ + "v1.0\\README";
    WriteFileBytes(document, {'r'});
    lstrcpynA(g_state.document_to_open, document.c_str(), MAX_PATH);
    OpenInstalledDocument();
    std::vector<std::string> lines = RecordedLines(program, 10000);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), document);
}

TEST_F(OpenDocument, NothingRunsForAMissingDocumentOrALineTooLong) {
    std::string program = Recorder("viewer long\\view.exe");
    Associate(".kilnm", "\"" + program + "\" \"%1\"");
    lstrcpynA(g_state.document_to_open, (folder_ + "gone.kilnm").c_str(), MAX_PATH);
    OpenInstalledDocument();
    // The longest command without a placeholder and the longest path would
    // not fit the command line: it is not run with the path cut short.
    std::string padded = "\"" + program + "\"" + std::string(259 - program.size() - 2, ' ');
    Associate(".kilnl", padded);
    std::string long_name = std::string(259 - folder_.size() - 13 - 6, 'n') + ".kilnl";
    std::string document = Document(long_name);
    ASSERT_EQ(document.size(), 259u);
    ASSERT_TRUE(Exists(document));
    EXPECT_EQ(OpenFileWithAssociation(document.c_str(), ".kilnl"), UINT_PTR(ERROR_INSUFFICIENT_BUFFER));
    Sleep(600);
    EXPECT_TRUE(RecordedLines(program).empty());
    // Without an association the registry's error comes back.
    EXPECT_EQ(OpenFileWithAssociation(document.c_str(), ".kiln-none"), UINT_PTR(ERROR_FILE_NOT_FOUND));
}

}  // namespace
