// The setup program as shipped: small, as linked (nothing unpacked at run
// time), with exactly one patch block. The packed form, an author's choice,
// unpacks itself wherever it is loaded and refuses to run when damaged.
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

DWORD RunAndWait(const char* path, const char* arguments = "") {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    char command[3 * MAX_PATH];
    wsprintfA(command, "\"%s\" %s", path, arguments);
    if (!CreateProcessA(path, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0xFFFFFFFF;
    WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 0xFFFFFFFE;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

// The size budget of the program as linked, with everything in it.
constexpr size_t kStubBudget = sizeof(void*) == 4 ? 88 * 1024 : 112 * 1024;

TEST(Stub, IsSmallAndCarriesOnePatchBlock) {
    std::vector<uint8_t> stub = ReadAll(StubPath());
    ASSERT_FALSE(stub.empty());
    EXPECT_LE(stub.size(), kStubBudget);
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

// What virus scanners take for a packed program: code that becomes
// executable only at run time. The default setup file's program starts in
// a section that is executable and not writable, and no section is both.
TEST(Stub, DefaultSetupFileCarriesNoPackedProgram) {
    const char* setup = std::getenv("KILN_EXAMPLE_SETUP");
    std::vector<uint8_t> file = ReadAll(setup ? setup : StubPath());
    ASSERT_GT(file.size(), 0x40u);
    uint32_t pe;
    std::memcpy(&pe, &file[0x3C], 4);
    ASSERT_LT(pe + 24u, file.size());
    const auto* header = reinterpret_cast<const IMAGE_NT_HEADERS*>(&file[pe]);
    const auto* section = IMAGE_FIRST_SECTION(header);
    const DWORD entry = header->OptionalHeader.AddressOfEntryPoint;
    bool entry_found = false;
    for (WORD i = 0; i < header->FileHeader.NumberOfSections; ++i, ++section) {
        std::string name(reinterpret_cast<const char*>(section->Name), strnlen(reinterpret_cast<const char*>(section->Name), 8));
        const DWORD flags = section->Characteristics;
        EXPECT_FALSE((flags & IMAGE_SCN_MEM_WRITE) && (flags & IMAGE_SCN_MEM_EXECUTE)) << name << " is writable and executable";
        if (entry - section->VirtualAddress < section->Misc.VirtualSize) {
            entry_found = true;
            EXPECT_EQ(name, ".text");
            EXPECT_TRUE(flags & IMAGE_SCN_MEM_EXECUTE);
            EXPECT_FALSE(flags & IMAGE_SCN_MEM_WRITE);
        }
        EXPECT_NE(name, ".kiln") << "a section only a packed program has";
    }
    EXPECT_TRUE(entry_found) << "the entry point lies in no section";
}

}  // namespace

namespace {

// One setup program at a time, in every mode: while another runs (here
// its mark is held by the test), a quiet installation and a wizard both
// end with 1618 and install nothing.
TEST(Stub, OneSetupProgramAtATime) {
    const char* setup = std::getenv("KILN_EXAMPLE_SETUP");
    if (!setup) GTEST_SKIP() << "KILN_EXAMPLE_SETUP not set";
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    std::string destination = std::string(folder) + "kiln_one_at_a_time";
    HANDLE running = CreateMutexA(nullptr, TRUE, "KilnSetupRunning");
    ASSERT_NE(running, nullptr);
    std::string quiet = "/QUIET /DIR=\"" + destination + "\"";
    EXPECT_EQ(RunAndWait(setup, quiet.c_str()), DWORD(ERROR_INSTALL_ALREADY_RUNNING));
    EXPECT_EQ(RunAndWait(setup), DWORD(ERROR_INSTALL_ALREADY_RUNNING));
    EXPECT_EQ(GetFileAttributesA(destination.c_str()), INVALID_FILE_ATTRIBUTES);
    CloseHandle(running);
}

// Runs a setup file until it shows its wizard (the background window of
// class VelkorClass), then closes that window: the program ends with 0.
void ExpectShowsWizardAndCloses(const std::string& path) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    char command[MAX_PATH];
    lstrcpynA(command, path.c_str(), MAX_PATH);
    ASSERT_TRUE(CreateProcessA(path.c_str(), command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
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

// The example's setup file, built by kiln: the real stub loads its package
// and shows its wizard; the window's close command ends it with 0.
TEST(Stub, LoadsTheBuiltExampleAndShowsItsWizard) {
    const char* path = std::getenv("KILN_EXAMPLE_SETUP");
    if (!path) GTEST_SKIP() << "KILN_EXAMPLE_SETUP not set";
    ExpectShowsWizardAndCloses(path);
}

#if defined(KILN_PACKED_STUB_PATH)
// The example built behind the setup program packed for another image base,
// which relocates what it unpacks: the whole program runs at the moved address.
TEST(Stub, RelocatedStubShowsTheExamplesWizard) {
    const char* path = std::getenv("KILN_RELOCATED_EXAMPLE_SETUP");
    if (!path) GTEST_SKIP() << "KILN_RELOCATED_EXAMPLE_SETUP not set";
    ExpectShowsWizardAndCloses(path);
}

// Damage to the packed program, in its compressed stream or in the checksum
// it is checked against, ends it before any of it runs.
TEST(Stub, DamagedPackedProgramEndsBeforeRunning) {
    std::vector<uint8_t> stub = ReadAll(WindowsPath(KILN_PACKED_STUB_PATH));
    auto record = std::search(stub.begin(), stub.end(), std::begin(kPackedImageMarker), std::end(kPackedImageMarker));
    ASSERT_NE(record, stub.end());
    const size_t cases[] = {
        stub.size() - 4096,                                               // the stream, which ends the file
        stub.size() - 20000,                                              // further in
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
#endif

}  // namespace
