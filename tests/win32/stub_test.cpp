// The setup program as shipped: small, with exactly one patch block, and
// running under the platform without showing anything.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "package/patch_block.h"

namespace {

// The stub as built, by its full path: tests before this one move the
// current directory, as the setup program itself does.
std::string StubPath() {
    std::string path = std::string("Z:") + KILN_STUB_PATH;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

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

// The example's setup file, built by kiln: the real stub loads its package
// and shows its wizard (the background window of class VelkorClass); the
// window's close command ends it with 0.
TEST(Stub, LoadsTheBuiltExampleAndShowsItsWizard) {
    const char* path = std::getenv("KILN_EXAMPLE_SETUP");
    if (!path) GTEST_SKIP() << "KILN_EXAMPLE_SETUP not set";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    char command[MAX_PATH];
    lstrcpynA(command, path, MAX_PATH);
    ASSERT_TRUE(CreateProcessA(path, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    HWND background = nullptr;
    for (int i = 0; i < 300 && !background; ++i) {
        if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) break;
        background = FindWindowA("VelkorClass", nullptr);
    }
    EXPECT_NE(background, nullptr) << "no wizard within 30 s";
    if (background) PostMessageA(background, WM_SYSCOMMAND, SC_CLOSE, 0);
    bool ended = WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(pi.hProcess, 1);  // never left running behind the tests
    DWORD code = 0xFFFFFFFE;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_TRUE(ended);
    EXPECT_EQ(code, 0u);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

}  // namespace
