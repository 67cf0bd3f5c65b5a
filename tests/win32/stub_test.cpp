// The setup program as shipped: small, packed, with exactly one patch block;
// it unpacks itself wherever it is loaded and refuses to run when damaged.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "package/patch_block.h"
#include "startup/packed_image.h"

namespace {

std::string WindowsPath(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return "Z:" + path;
}

// The stub as built, by its full path: tests before this one move the
// current directory, as the setup program itself does.
std::string StubPath() { return WindowsPath(KILN_STUB_PATH); }

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

DWORD RunAndWait(const char* path) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    char command[MAX_PATH];
    lstrcpynA(command, path, MAX_PATH);
    if (!CreateProcessA(path, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0xFFFFFFFF;
    WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 0xFFFFFFFE;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

TEST(Stub, IsSmallAndCarriesOnePatchBlock) {
    std::vector<uint8_t> stub = ReadAll(StubPath());
    ASSERT_FALSE(stub.empty());
    EXPECT_LT(stub.size(), 48u * 1024u);
    int found = 0;
    for (size_t i = FindPatchBlock(stub.data(), stub.size()); i < stub.size();
         i = FindPatchBlock(stub.data(), stub.size(), i + 1)) {
        ++found;
        EXPECT_EQ(PatchedStubLength(&stub[i]), 0u) << "an unpatched stub carries no package";
    }
    EXPECT_EQ(found, 1);
}

TEST(Stub, UnpatchedStubEndsWithoutPackage) {
    EXPECT_EQ(RunAndWait(StubPath().c_str()), DWORD(-1));
}

}  // namespace

namespace {

struct DialogSearch {
    DWORD process;
    bool found;
};

BOOL CALLBACK IsDialog(HWND window, LPARAM search_address) {
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    if (IsWindowVisible(window) && lstrcmpA(name, "#32770") == 0)
        reinterpret_cast<DialogSearch*>(search_address)->found = true;
    return TRUE;
}

// A visible dialog inside a window of the process: a wizard page, which a
// message box is not.
BOOL CALLBACK FindDialog(HWND window, LPARAM search_address) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == reinterpret_cast<DialogSearch*>(search_address)->process)
        EnumChildWindows(window, IsDialog, search_address);
    return TRUE;
}

// Starts the program and waits until it shows a dialog, its first wizard
// page; ends it either way.
bool ShowsDialog(const std::string& path) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    char command[MAX_PATH];
    lstrcpynA(command, path.c_str(), MAX_PATH);
    if (!CreateProcessA(path.c_str(), command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    DialogSearch search = {pi.dwProcessId, false};
    for (int waited = 0; waited < 60000 && !search.found; waited += 250) {
        if (WaitForSingleObject(pi.hProcess, 250) != WAIT_TIMEOUT) break;
        EnumWindows(FindDialog, LPARAM(&search));
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return search.found;
}

// The example's setup file, built by kiln, behind the stub as built and
// behind the stub packed for another image base, which relocates itself as
// it unpacks: each loads the package and shows the wizard's first page.
TEST(Stub, ShowsTheExamplesFirstPage) {
    const char* example_path = std::getenv("KILN_EXAMPLE_SETUP");
    if (!example_path) GTEST_SKIP() << "KILN_EXAMPLE_SETUP not set";
    std::vector<uint8_t> example = ReadAll(example_path);
    size_t block = FindPatchBlock(example.data(), example.size());
    ASSERT_LT(block, example.size());
    uint32_t package_at = PatchedStubLength(&example[block]);
    ASSERT_LT(package_at, example.size());
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    for (const char* stub_path : {KILN_STUB_PATH, KILN_STUB_REBASED_PATH}) {
        SCOPED_TRACE(stub_path);
        std::vector<uint8_t> setup = ReadAll(WindowsPath(stub_path));
        size_t own_block = FindPatchBlock(setup.data(), setup.size());
        ASSERT_LT(own_block, setup.size());
        WriteU32(&setup[own_block + sizeof kPatchMarker], uint32_t(setup.size()));
        setup.insert(setup.end(), example.begin() + package_at, example.end());
        std::string path = std::string(folder) + "kiln-stub-example.exe";
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(setup.data()), setup.size());
        EXPECT_TRUE(ShowsDialog(path));
        DeleteFileA(path.c_str());
    }
}

// Damage to the packed program, in its compressed stream or in the checksum
// it is checked against, ends it before any of it runs.
TEST(Stub, DamagedPackedProgramEndsBeforeRunning) {
    std::vector<uint8_t> stub = ReadAll(StubPath());
    auto record = std::search(stub.begin(), stub.end(), std::begin(kPackedImageMarker), std::end(kPackedImageMarker));
    ASSERT_NE(record, stub.end());
    const size_t cases[] = {
        stub.size() - 4096,                                             // the stream, which ends the file
        stub.size() - 20000,                                            // further in
        size_t(record - stub.begin()) + offsetof(PackedImage, checksum),  // the checksum
    };
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    std::string path = std::string(folder) + "kiln-stub-damaged.exe";
    for (size_t at : cases) {
        SCOPED_TRACE(at);
        std::vector<uint8_t> damaged = stub;
        damaged[at] ^= 0x24;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(damaged.data()), damaged.size());
        EXPECT_EQ(RunAndWait(path.c_str()), kDamagedProgramExitCode);
    }
    DeleteFileA(path.c_str());
}

}  // namespace
