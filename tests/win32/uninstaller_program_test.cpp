// kiln-uninstall.exe as a product installs it, run as a user, a deployment
// tool or another setup type's installation would: quietly, through its
// questions, with "/X"; with its log whole, damaged, or naming what it must
// not touch.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "builder/manifest/default_texts.h"
#include "builder/program/uninstaller_program.h"
#include "engine/uninstaller_data.h"
#include "tests/common/install_log_writer.h"
#include "tests/win32/message_box_answer.h"
#include "tests/win32/pending_renames.h"
#include "tests/win32/test_files.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool KeyExists(const std::string& key) {
    HKEY k;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, key.c_str(), &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

// Polls until the path is gone; the copy removes the original only after it ended.
bool BecomesAbsent(const std::string& path, DWORD ms = 20000) {
    for (DWORD waited = 0; Exists(path); waited += 50) {
        if (waited >= ms) return false;
        Sleep(50);
    }
    return true;
}

struct Ended {
    DWORD code = 0xFFFFFFFF;
    std::string output;  // standard output
};

// Starts the command line; answer(process) runs while it does.
Ended Start(const std::string& command_line, void (*answer)(const std::string&) = nullptr, const std::string& caption = "") {
    Ended run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    CreatePipe(&read, &write, &inherit, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = write;
    PROCESS_INFORMATION pi;
    std::string command = command_line;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(read), CloseHandle(write);
        return run;
    }
    CloseHandle(write);
    if (answer) answer(caption);
    char buffer[512];
    DWORD got;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got) run.output.append(buffer, got);
    CloseHandle(read);
    WaitForSingleObject(pi.hProcess, 60000);
    GetExitCodeProcess(pi.hProcess, &run.code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return run;
}

class UninstallerProgram : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        static int n = 0;
        tag_ = "kiln-uninstaller-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++n);
        base_ = std::string(temp) + tag_;
        install_ = base_ + "\\Product";
        product_ = "Kiln Test Product " + tag_;
        key_ = std::string(kTestUninstallPrefix) + product_;
        CreateDirectoryA(base_.c_str(), nullptr);
        CreateDirectoryA(install_.c_str(), nullptr);
        texts_ = DefaultStringTable();
        texts_[kGroupMessages][0] = product_;
        copies_before_ = Copies();
    }
    void TearDown() override {
        // The copies in the temporary folder have ended; they go now rather
        // than at a restart, and the delayed moves are as they were.
        for (const std::string& copy : Copies())
            if (std::find(copies_before_.begin(), copies_before_.end(), copy) == copies_before_.end())
                DeleteFileA(copy.c_str());
        pending_.Restore();
        // What a failed test left: deepest first.
        for (int pass = 0; pass < 3; ++pass)
            for (auto it = made_.rbegin(); it != made_.rend(); ++it)
                if (!DeleteFileA(it->c_str())) RemoveDirectoryA(it->c_str());
        DeleteFileA(Uninstaller().c_str());
        RemoveDirectoryA(install_.c_str());
        RemoveDirectoryA(base_.c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key_.c_str());
    }

    std::string In(const std::string& name) const { return install_ + "\\" + name; }
    std::string Uninstaller() const { return In("uninstall.exe"); }

    // The installation's files and its uninstall entry, and the log that names them.
    TestLog Install() {
        for (const char* name : {"app.exe", "readme.txt", "lib\\x.dll"}) Make(In(name));
        HKEY key;
        RegCreateKeyA(HKEY_LOCAL_MACHINE, key_.c_str(), &key);
        std::string uninstaller = Uninstaller();
        RegSetValueExA(key, "UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(uninstaller.c_str()),
                       DWORD(uninstaller.size() + 1));
        RegCloseKey(key);
        TestLog log;
        log.files = {{".", "app.exe", 0}, {".", "readme.txt", 0}, {".\\lib", "x.dll", 0}};
        log.uninstall_key = product_;
        return log;
    }
    void Make(const std::string& path) {
        size_t slash = path.rfind('\\');
        if (CreateDirectoryA(path.substr(0, slash).c_str(), nullptr)) made_.push_back(path.substr(0, slash));
        WriteFileBytes(path, {'x'});
        made_.push_back(path);
    }

    // The uninstaller as the package carries it: the program with its data
    // block filled in, the type's texts and the closing header.
    Bytes Packaged() {
        Bytes program = PrepareUninstallerProgram(ReadFileBytes(WindowsPathOf(KILN_UNINSTALLER_PATH)));
        Bytes data = UninstallerEntryData(texts_);
        program.insert(program.end(), data.begin(), data.end());
        return program;
    }
    void WriteUninstaller(const Bytes& file) { ASSERT_TRUE(WriteFileBytes(Uninstaller(), file)); }
    void WriteUninstaller(const TestLog& log) { WriteUninstaller(WithInstallLog(Packaged(), InstallLogBytes(log))); }

    Ended Uninstall(const std::string& arguments, void (*answer)(const std::string&) = nullptr) {
        return Start("\"" + Uninstaller() + "\" " + arguments, answer, product_);
    }

    bool AllGone() {
        return BecomesAbsent(install_) && !KeyExists(key_) && Exists(base_);
    }
    bool AllThere() {
        for (const char* name : {"app.exe", "readme.txt", "lib\\x.dll", "uninstall.exe"})
            if (!Exists(In(name))) return false;
        return KeyExists(key_);
    }

    static std::vector<std::string> Copies() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        std::vector<std::string> found;
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA((std::string(temp) + "_unin*.exe").c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) return found;
        do found.push_back(std::string(temp) + data.cFileName);
        while (FindNextFileA(search, &data));
        FindClose(search);
        return found;
    }
    std::string tag_, base_, install_, product_, key_;
    StringTable texts_;
    std::vector<std::string> made_, copies_before_;
    SavedPendingRenames pending_;
};

TEST(UninstallerSize, IsSmallAndCarriesOneDataBlock) {
    Bytes program = ReadFileBytes(WindowsPathOf(KILN_UNINSTALLER_PATH));
    EXPECT_LE(program.size(), 40u * 1024u);
    EXPECT_NO_THROW(PrepareUninstallerProgram(program));
}

TEST_F(UninstallerProgram, QuietlyTakesTheInstallationAndItselfAway) {
    WriteUninstaller(Install());
    Ended run = Uninstall("/QUIET");
    EXPECT_EQ(run.code, 0u) << run.output;
    EXPECT_TRUE(AllGone()) << "the copy removes the original file and the install folder";
}

TEST_F(UninstallerProgram, AFileHeldOpenNeedsARestartAndTheRestGoes) {
    WriteUninstaller(Install());
    HANDLE held = CreateFileA(In("lib\\x.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Ended run = Uninstall("/QUIET");
    EXPECT_EQ(run.code, DWORD(ERROR_SUCCESS_REBOOT_REQUIRED)) << run.output;
    CloseHandle(held);
    EXPECT_TRUE(BecomesAbsent(Uninstaller()));
    EXPECT_FALSE(Exists(In("app.exe")));
    EXPECT_FALSE(KeyExists(key_));
}

// What remains is listed; the uninstall entry and the uninstaller stay, so
// that the user can try again. A retry lowers no shared count a second
// time: the library another product still counts stays.
TEST_F(UninstallerProgram, WhatItMustNotTouchIsListedAndStaysForARetry) {
    TestLog log = Install();
    std::string shared = SystemFolder() + "\\" + tag_ + ".dll";
    Make(shared);
    HKEY counts;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kSharedDlls, &counts), ERROR_SUCCESS);
    DWORD two = 2;  // this product and another
    RegSetValueExA(counts, shared.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&two), sizeof two);
    log.files.push_back({SystemFolder(), tag_ + ".dll", kLogSharedFile});
    log.files.push_back({SystemFolder(), "kernel32.dll", 0});
    WriteUninstaller(log);
    for (int run_number = 1; run_number <= 2; ++run_number) {
        SCOPED_TRACE(run_number);
        Ended run = Uninstall("/QUIET");
        EXPECT_EQ(run.code, DWORD(ERROR_INSTALL_FAILURE));
        EXPECT_NE(run.output.find(SystemFolder() + "\\kernel32.dll"), std::string::npos) << run.output;
        EXPECT_TRUE(Exists(SystemFolder() + "\\kernel32.dll"));
        EXPECT_FALSE(Exists(In("app.exe"))) << "everything it may remove still goes";
        EXPECT_TRUE(Exists(Uninstaller()) && KeyExists(key_)) << "kept for a retry";
        DWORD count = 0, size = sizeof count;
        RegQueryValueExA(counts, shared.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size);
        EXPECT_EQ(count, 1u) << "lowered once, by the first run only";
        EXPECT_TRUE(Exists(shared));
    }
    RegDeleteValueA(counts, shared.c_str());
    RegCloseKey(counts);
}

// A copy of the uninstaller elsewhere (the desktop, beside files of the
// user's with the product's names), or the uninstaller of an installation
// that is gone, removes nothing and says why.
TEST_F(UninstallerProgram, ACopyElsewhereOrASecondRunRemovesNothing) {
    WriteUninstaller(Install());
    std::string elsewhere = base_ + "\\Desktop";
    CreateDirectoryA(elsewhere.c_str(), nullptr);
    made_.push_back(elsewhere);
    std::string copy = elsewhere + "\\uninstall.exe", users = elsewhere + "\\readme.txt";
    ASSERT_TRUE(CopyFileA(Uninstaller().c_str(), copy.c_str(), FALSE));
    Make(users);
    made_.push_back(copy);
    Ended run = Start("\"" + copy + "\" /QUIET");
    EXPECT_EQ(run.code, DWORD(ERROR_UNKNOWN_PRODUCT)) << run.output;
    Sleep(300);  // time for a copy, had one been started, to do harm
    EXPECT_TRUE(Exists(users) && Exists(copy));
    EXPECT_TRUE(AllThere());

    // The real one takes the installation away; then the copy, run again,
    // finds its entry gone.
    EXPECT_EQ(Uninstall("/QUIET").code, 0u);
    EXPECT_TRUE(AllGone());
    run = Start("\"" + copy + "\" /QUIET");
    EXPECT_EQ(run.code, DWORD(ERROR_UNKNOWN_PRODUCT)) << run.output;
    EXPECT_TRUE(Exists(users));
}

// Two runs for one installation at a time: the second ends at once.
TEST_F(UninstallerProgram, ASecondRunWhileOneIsUnderWayEndsAtOnce) {
    WriteUninstaller(Install());
    std::string name = "KilnUninstall:" + key_;
    for (char& c : name)
        if (c == '\\') c = '/';
    HANDLE running = CreateMutexA(nullptr, TRUE, name.c_str());
    Ended run = Uninstall("/QUIET");
    EXPECT_EQ(run.code, DWORD(ERROR_INSTALL_ALREADY_RUNNING)) << run.output;
    Sleep(300);
    EXPECT_TRUE(AllThere());
    CloseHandle(running);
    EXPECT_EQ(Uninstall("/QUIET").code, 0u);
    EXPECT_TRUE(AllGone());
}

TEST_F(UninstallerProgram, ADamagedLogRemovesNothing) {
    TestLog log = Install();
    Bytes whole = WithInstallLog(Packaged(), InstallLogBytes(log));
    Bytes packaged = Packaged();
    size_t log_start = packaged.size() - kLogHeaderSize;
    Bytes unpatched = whole;
    for (size_t i = 0; i + kUninstallerBlockSize <= unpatched.size(); ++i)
        if (!std::memcmp(&unpatched[i], kUninstallerMarker, sizeof kUninstallerMarker)) WriteU32(&unpatched[i + 6], 0);
    size_t program = ReadFileBytes(WindowsPathOf(KILN_UNINSTALLER_PATH)).size();
    Bytes texts_damaged = whole;  // the size of the texts part, which follows the program
    texts_damaged[program] ^= 0x01;
    Bytes count_high = whole;
    count_high[log_start + 8] += 1;
    Bytes trailing = whole;
    trailing.push_back(0);
    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"no log yet", packaged},
        {"cut in its files section", Bytes(whole.begin(), whole.begin() + long(log_start + 20))},
        {"cut before its end header", Bytes(whole.begin(), whole.end() - 1)},
        {"a byte after its end", trailing},
        {"a record count too high", count_high},
        {"texts damaged", texts_damaged},
        {"a program that does not know its length", unpatched},
        {"cut inside its texts", Bytes(whole.begin(), whole.begin() + long(program + 10))},
    };
    for (const auto& c : cases) {
        WriteUninstaller(c.file);
        Ended run = Uninstall("/QUIET");
        EXPECT_EQ(run.code, DWORD(ERROR_INSTALL_PACKAGE_INVALID)) << c.name;
        Sleep(300);  // time for a copy, had one been started, to do harm
        EXPECT_TRUE(AllThere()) << c.name;
    }
}

// As another setup type's installation does it: "%s %s" with /X, a wait
// for the end, then the uninstaller file deleted within 3 s.
TEST_F(UninstallerProgram, SwitchXRemovesInPlaceAndLeavesItsFileToTheSetupProgram) {
    WriteUninstaller(Install());
    Ended run = Start(Uninstaller() + " /X");
    EXPECT_EQ(run.code, 0u) << run.output;
    EXPECT_FALSE(Exists(In("app.exe")));
    EXPECT_FALSE(KeyExists(key_));
    EXPECT_TRUE(Exists(Uninstaller())) << "the setup program deletes it";
    bool deleted = false;
    for (DWORD start = GetTickCount(); !deleted && GetTickCount() - start < 3000; Sleep(10))
        deleted = DeleteFileA(Uninstaller().c_str());
    EXPECT_TRUE(deleted);
}

TEST_F(UninstallerProgram, AsksOnceAndReportsWhenDone) {
    WriteUninstaller(Install());
    Ended declined = Uninstall("", [](const std::string& caption) { EXPECT_TRUE(AnswerMessageBox(caption.c_str(), IDNO)); });
    EXPECT_EQ(declined.code, DWORD(ERROR_INSTALL_USEREXIT));
    EXPECT_TRUE(AllThere());

    Ended accepted = Uninstall("", [](const std::string& caption) {
        EXPECT_TRUE(AnswerMessageBox(caption.c_str(), IDYES)) << "the question";
        EXPECT_TRUE(AnswerMessageBox(caption.c_str(), IDOK)) << "the outcome";
    });
    EXPECT_EQ(accepted.code, 0u);
    EXPECT_TRUE(AllGone());
}

}  // namespace
