// Files from a real setup file's archive to real destinations: checksums,
// version and language tests against libraries with version resources,
// read-only and locked destinations with scripted answers, files in use,
// damaged archive data, deltas and the uninstaller entry. The rule behind
// every case: a destination is only ever replaced by a verified file, and
// never lost on the way.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "decoder/archive.h"
#include "decoder/inflate.h"
#include "engine/checksum.h"
#include "engine/decoded_files.h"
#include "engine/entry_paths.h"
#include "engine/extraction.h"
#include "engine/memory.h"
#include "engine/progress.h"
#include "package/file_list.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "tests/win32/test_files.h"
#include "tests/common/record_writer.h"
#include "tests/win32/package_file.h"
#include "wizard/message_box.h"

namespace {

// ---------------------------------------------------------------------------
// Files and folders.

std::string TempFolderFor(const char* test) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "kiln-x-" + test + "-" + std::to_string(GetCurrentProcessId());
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Names in the folder, sorted case-blind.
std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return lstrcmpiA(a.c_str(), b.c_str()) < 0;
    });
    return names;
}

void RemoveTree(const std::string& folder) {
    for (const std::string& name : FolderNames(folder)) {
        std::string path = folder + "\\" + name;
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveTree(path);
        } else {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    }
    RemoveDirectoryA(folder.c_str());
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

uint32_t Checksum(const Bytes& b) { return ChecksumUpdate(0, b.data(), b.size()); }

// Pseudo-random bytes, different for each seed.
Bytes Noise(size_t size, uint32_t seed) {
    Bytes out(size);
    for (uint8_t& b : out) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
    return out;
}

// ---------------------------------------------------------------------------
// The test package: setup types with their file lists, and the archive
// record of a setup file on disk, installed as the package loader and
// StartInstall leave them.

// An archive item as the builder writes it: flags, sizes, data.
Bytes ArchiveItem(const Bytes& data, bool compressed) {
    RecordWriter w;
    if (data.empty()) {
        w.U8(2).U32(0);  // an empty item has no more than its size
    } else if (compressed) {
        Bytes stream = StoredStreamOf(data);
        w.U8(1 | 2 | 4).U32(uint32_t(data.size())).U32(uint32_t(stream.size())).Raw(stream);
    } else {
        w.U8(2).U32(uint32_t(data.size())).Raw(data);
    }
    return w.bytes;
}

struct DeltaItems {
    Bytes commands, literals;
    bool compressed = true;
};

class TestPackage {
public:
    std::vector<std::string> messages = DefaultMessages();
    Bytes uninstaller_body;

    // An entry whose archive data is the given stream (default: the
    // content in stored blocks); sizes and checksum describe content.
    int Add(FileEntryContents e, const Bytes& content, int type = 0, const Bytes* stream = nullptr) {
        return Store(e, stream ? *stream : StoredStreamOf(content), content, type);
    }
    // A delta entry: its two items; content is the file it should build.
    int AddDelta(FileEntryContents e, uint32_t base_ordinal, const DeltaItems& items, const Bytes& content,
                 int type = 0) {
        e.flags |= kEntryIsDelta;
        e.base_ordinal = base_ordinal;
        Bytes data = ArchiveItem(items.commands, items.compressed);
        Bytes literals = ArchiveItem(items.literals, items.compressed);
        data.insert(data.end(), literals.begin(), literals.end());
        return Store(e, data, content, type);
    }
    // Appends the entry's archive data; sizes and checksum describe content.
    int Store(FileEntryContents e, const Bytes& data, const Bytes& content, int type) {
        e.archive_offset = uint32_t(archive_.size());
        e.stored_size = uint32_t(data.size());
        e.unpacked_size = uint32_t(content.size());
        e.checksum = Checksum(content);
        e.setup_type = uint16_t(type);
        archive_.insert(archive_.end(), data.begin(), data.end());
        return Put(e, type);
    }
    Bytes& archive() { return archive_; }

    // Writes the setup file and makes it the source of the installation,
    // with setup type 0 selected and destination as its folder.
    void Install(const std::string& destination) {
        for (size_t t = 0; t < lists_.size(); ++t) {
            ProductType type = TestType("Type" + std::to_string(t), destination);
            type.texts[kGroupMessages] = messages;
            records_[t] = SetupTypeRecord(type);
            bodies_[t] = FileListBody(lists_[t]);
        }
        setup_.reset(new SetupFileOnDisk(std::vector<TestRecord>{{kTagArchive, ArchiveRecordBody(archive_)}}));
        FreeSetupConfig();
        for (size_t t = 0; t < lists_.size(); ++t) {
            g_config.types[t].record = {records_[t].data(), uint32_t(records_[t].size())};
            g_config.types[t].file_list = {bodies_[t].data(), uint32_t(bodies_[t].size())};
            lstrcpynA(g_config.types[t].destination_folder, (destination + "\\").c_str(), kPathSize);
        }
        if (!uninstaller_body.empty()) g_config.uninstaller = {uninstaller_body.data(), uint32_t(uninstaller_body.size())};
        g_config.type_count = int(lists_.size());
        SelectSetupType(0);
        lstrcpynA(g_state.source_path, setup_->path.c_str(), kPathSize);
        uint32_t length = uint32_t(archive_.size());
        g_archive = {INVALID_HANDLE_VALUE, 0, kTestStubLength + kRecordHeaderSize, length, 0, length, false, 0, false, 0, 0};
        ASSERT_TRUE(OpenArchive());
    }
    ~TestPackage() {
        CloseArchive();
        // The bodies belong to the package, not to the configuration.
        for (SetupType& t : g_config.types) t.record = t.file_list = {nullptr, 0};
        g_config.uninstaller = {nullptr, 0};
        FreeSetupConfig();
    }

    // Entry k of setup type 0, in the configuration's copy.
    uint8_t* Entry(int k) {
        uint8_t* e = g_config.current_first_entry;
        while (k--) e = NextEntry(e);
        return e;
    }

private:
    static std::vector<std::string> DefaultMessages() {
        std::vector<std::string> m(32);
        m[0] = "Kiln Test Setup";
        m[22] = "Cannot replace %s";
        m[29] = "A newer %s is installed. Replace it?";
        m[30] = "%s is in another language. Replace it?";
        return m;
    }
    int Put(const FileEntryContents& e, int type) {
        if (lists_.size() <= size_t(type)) lists_.resize(type + 1);
        lists_[type].push_back(e);
        return int(lists_[type].size()) - 1;
    }
    std::vector<std::vector<FileEntryContents>> lists_{1};
    Bytes archive_;
    Bytes records_[kMaxSetupTypes], bodies_[kMaxSetupTypes];
    std::unique_ptr<SetupFileOnDisk> setup_;
};

FileEntryContents Named(const std::string& name, uint8_t flags = 0, uint8_t kind = kDestinationFolder) {
    FileEntryContents e;
    e.strings[0] = name;
    e.flags = flags;
    e.destination_kind = kind;
    return e;
}

// ---------------------------------------------------------------------------
// Scripted answers to the program's message boxes.

struct Question {
    std::string text;
    UINT style;
};
std::vector<Question> g_questions;
std::deque<int> g_answers;
std::function<void(int)> g_on_answer;  // runs as an answer is given

int ScriptedAnswer(const char* text, const char*, UINT style) {
    g_questions.push_back({text, style});
    if (g_answers.empty()) return 0;  // as a box that could not be shown
    int answer = g_answers.front();
    g_answers.pop_front();
    if (g_on_answer) g_on_answer(answer);
    return answer;
}

// ---------------------------------------------------------------------------

struct Outcome {
    bool installed = false;  // NeedsInstall accepted the entry
    int error = 0;
    uint16_t status = 0;
};

class Extraction : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcessState();
        folder_ = TempFolderFor(::testing::UnitTest::GetInstance()->current_test_info()->name());
        RemoveTree(folder_);
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        g_questions.clear();
        g_answers.clear();
        g_on_answer = nullptr;
        SetMessageAnswerer(ScriptedAnswer);
    }
    void TearDown() override {
        SetMessageAnswerer(nullptr);
        SetSharedFileFinder(nullptr);
        SetProgressObserver(nullptr);
        FailAllocationsAfter(-1, 0);
        SetDecodedFileLimits(kInMemoryFileLimit, kKeptBasesLimit);
        g_on_answer = nullptr;
        package_.reset();
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, MAX_PATH);
        SetCurrentDirectoryA(windows);  // the folder chain leaves it inside the folder
        RemoveTree(folder_);
        ResetProcessState();
    }
    TestPackage& Package() {
        if (!package_) package_.reset(new TestPackage);
        return *package_;
    }
    void InstallPackage() { Package().Install(folder_); }
    std::string In(const std::string& name) const { return folder_ + "\\" + name; }

    // One entry the way the install driver takes it; in_use -1: as the
    // entry's path reports it.
    Outcome Install(int k, int in_use = -1, int progress_start = 0, int progress_end = 0) {
        uint8_t* e = Package().Entry(k);
        WriteU16(e + kEntryInstallStatus, 0);
        g_state.install_error = 0;
        g_state.temporary_path[0] = 0;
        int reported = ResolveEntryPath(e);
        Outcome o;
        o.installed = NeedsInstall(e, in_use < 0 ? reported : in_use) != 0;
        if (o.installed) {
            int done = ExtractAndPlace(e, in_use < 0 ? reported : in_use, progress_start, progress_end);
            EXPECT_EQ(done != 0, g_state.install_error == 0);
            EXPECT_STREQ(g_state.temporary_path, "") << "the entry must be finished";
        }
        o.error = g_state.install_error;
        o.status = ReadU16(e + kEntryInstallStatus);
        return o;
    }

    std::string folder_;
    std::unique_ptr<TestPackage> package_;
};

// Files are decoded in memory, or, past the limit, straight into their
// temporary file (deltas: from a base in a temporary file). Both ways must
// give the same files and the same errors.
struct Way {
    const char* label;
    uint32_t in_memory_limit;
};
const Way kWays[] = {{"in memory", kInMemoryFileLimit}, {"through temporary files", 0}};

// ---------------------------------------------------------------------------

TEST_F(Extraction, FileChecksumOfWholeFiles) {
    struct Case {
        Bytes content;
        uint32_t expected;
    } cases[] = {
        {Text("abc"), 0x2AB},
        {Text("abcd"), 0x64636261},
        {Text("abcde"), 0xC8C6C527},
        {{}, 0},
        // Several checksum blocks, and a tail that is no whole word.
        {Noise(3 * 16384 + 7, 1), Checksum(Noise(3 * 16384 + 7, 1))},
    };
    std::string path = In("sum.bin");
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFileBytes(path, c.content));
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        SetFilePointer(h, 5, nullptr, FILE_BEGIN);  // read from the start wherever the file pointer is
        EXPECT_EQ(FileChecksum(h), c.expected) << c.content.size();
        FailAllocationsAfter(0, 2);
        EXPECT_EQ(FileChecksum(h), 0u) << "no buffer";
        FailAllocationsAfter(-1, 0);
        CloseHandle(h);
    }
}

TEST_F(Extraction, PlainFilesArriveVerifiedNewThenReplaced) {
    Bytes compressed_content;
    Bytes compressed = FixedBlockStream(100000, 7, &compressed_content);
    Bytes small = Text("kiln small file");
    FileEntryContents timed = Named("timed.txt", kEntryHasFileTimes);
    Package().Add(Named("a.txt"), small);
    Package().Add(Named("sub\\deeper\\big.bin"), compressed_content, 0, &compressed);
    Package().Add(Named("empty.txt"), {});
    Package().Add(timed, small);
    InstallPackage();
    // The file-time block: creation, last access, last write.
    uint8_t* times = Package().Entry(3) + kEntryFixedSize;
    const uint64_t written[3] = {0x01D0000000000000ull, 0x01D1000000000000ull, 0x01D2000000000000ull};
    for (int i = 0; i < 3; ++i) {
        WriteU32(times + 8 * i, uint32_t(written[i]));
        WriteU32(times + 8 * i + 4, uint32_t(written[i] >> 32));
    }

    const struct {
        int entry;
        std::string path;
        Bytes content;
    } files[] = {{0, In("a.txt"), small},
                 {1, In("sub\\deeper\\big.bin"), compressed_content},
                 {2, In("empty.txt"), {}},
                 {3, In("timed.txt"), small}};
    for (const Way& way : kWays) {
        SCOPED_TRACE(way.label);
        SetDecodedFileLimits(way.in_memory_limit, kKeptBasesLimit);
        for (const auto& f : files) DeleteFileA(f.path.c_str());
        for (uint16_t expected_status : {kStatusNew, kStatusReplaced}) {
            for (const auto& f : files) {
                Outcome o = Install(f.entry);
                EXPECT_TRUE(o.installed);
                EXPECT_EQ(o.error, 0) << f.path;
                EXPECT_EQ(o.status, expected_status) << f.path;
                EXPECT_EQ(ReadFileBytes(f.path), f.content) << f.path;
            }
        }
    }
    HANDLE h = CreateFileA(In("timed.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME got[3];
    ASSERT_TRUE(GetFileTime(h, &got[0], &got[1], &got[2]));
    CloseHandle(h);
    // The last write time is the one every file system keeps.
    EXPECT_EQ(got[2].dwHighDateTime, uint32_t(written[2] >> 32));
    EXPECT_EQ(got[2].dwLowDateTime, uint32_t(written[2]));
    // No temporary file stays behind.
    EXPECT_EQ(FolderNames(folder_), (std::vector<std::string>{"a.txt", "empty.txt", "sub", "timed.txt"}));
}

// A copy of the stream with one byte changed where the change alters what
// the stream decodes to (a change inside a match over equal bytes may not).
Bytes DamagedStream(const Bytes& stream, const Bytes& content) {
    for (size_t at = stream.size() / 2; at < stream.size(); ++at) {
        Bytes damaged = stream;
        damaged[at] ^= 0x04;
        Bytes out(content.size() + 100);
        size_t produced = 0;
        if (InflateBuffer(damaged.data(), damaged.size(), out.data(), out.size(), &produced) != kInflateOk ||
            Bytes(out.begin(), out.begin() + produced) != content)
            return damaged;
    }
    return stream;
}

TEST_F(Extraction, DamagedArchiveDataNeverReachesTheDestination) {
    Bytes content;
    Bytes stream = FixedBlockStream(20000, 3, &content);
    Bytes damaged = DamagedStream(stream, content);
    ASSERT_NE(damaged, stream);
    Bytes noise = Noise(5000, 4);
    Bytes stored = StoredStreamOf(noise);
    stored[stored.size() / 2] ^= 0x01;
    Package().Add(Named("over.bin"), content, 0, &damaged);
    Package().Add(Named("fresh.bin"), content, 0, &damaged);
    Package().Add(Named("stored.bin"), noise, 0, &stored);
    InstallPackage();
    ASSERT_TRUE(WriteFileBytes(In("over.bin"), Text("the old file")));

    for (const Way& way : kWays) {
        SCOPED_TRACE(way.label);
        SetDecodedFileLimits(way.in_memory_limit, kKeptBasesLimit);
        for (int k : {0, 1, 2}) {
            Outcome o = Install(k);
            EXPECT_EQ(o.error, 21) << k;
            EXPECT_STREQ(g_state.message_argument, g_state.work_path) << k;
            EXPECT_EQ(o.status, 0) << k;
        }
        EXPECT_EQ(ReadFileBytes(In("over.bin")), Text("the old file"));
        EXPECT_EQ(FolderNames(folder_), std::vector<std::string>{"over.bin"});
    }
}

// The version test libraries beside the test program.
std::string TestLibrary(const char* variant) {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.rfind('\\') + 1) + "version_test_" + variant + ".dll";
}

TEST_F(Extraction, VersionAndLanguageTests) {
    constexpr uint32_t v1_2_3_4_ms = 0x00010002, v1_2_3_4_ls = 0x00030004;
    constexpr uint32_t v2_0_0_1_ms = 0x00020000, v2_0_0_1_ls = 0x00000001;
    constexpr uint8_t kVersion = kEntryVersionTest, kLanguage = kEntryLanguageTest;
    struct Case {
        const char* label;
        const char* existing;  // a version test library, "plain" (no resource) or null (no file)
        uint8_t flags;
        uint32_t ms, ls, language;
        bool newer_text_empty;
        std::vector<int> answers;
        bool installed;
        std::vector<int> asked;  // group-6 texts asked, in order
    } cases[] = {
        {"older file", "v1", kVersion, v2_0_0_1_ms, v2_0_0_1_ls, 0x409, false, {}, true, {}},
        {"equal versions", "v2", kVersion, v2_0_0_1_ms, v2_0_0_1_ls, 0x409, false, {}, true, {}},
        {"newer by the low half, No", "v2", kVersion, v2_0_0_1_ms, 0, 0x409, false, {IDNO}, false, {29}},
        {"newer, Yes", "v2", kVersion, v1_2_3_4_ms, v1_2_3_4_ls, 0x409, false, {IDYES}, true, {29}},
        {"newer, box not shown", "v2", kVersion, v1_2_3_4_ms, v1_2_3_4_ls, 0x409, false, {}, false, {29}},
        {"newer, no question text", "v2", kVersion, v1_2_3_4_ms, v1_2_3_4_ls, 0x409, true, {}, false, {}},
        {"no version resource", "plain", kVersion | kLanguage, v1_2_3_4_ms, 0, 0x407, false, {}, true, {}},
        {"no file", nullptr, kVersion | kLanguage, v1_2_3_4_ms, 0, 0x407, false, {}, true, {}},
        {"same language", "v2", kLanguage, 0, 0, 0x409, false, {}, true, {}},
        {"other language, No", "v2_german", kLanguage, 0, 0, 0x409, false, {IDNO}, false, {30}},
        {"other language, Yes", "v2_german", kLanguage, 0, 0, 0x409, false, {IDYES}, true, {30}},
        {"language of the low word only", "v2", kLanguage, 0, 0, 0x12340409, false, {}, true, {}},
        {"newer Yes, other language No", "v2_german", kVersion | kLanguage, v1_2_3_4_ms, 0, 0x409, false,
         {IDYES, IDNO}, false, {29, 30}},
        {"newer No asks no more", "v2_german", kVersion | kLanguage, v1_2_3_4_ms, 0, 0x409, false, {IDNO}, false,
         {29}},
        {"language not tested without its flag", "v2_german", kVersion, v2_0_0_1_ms, v2_0_0_1_ls, 0x409, false, {},
         true, {}},
    };
    const Bytes new_content = Text("the new library");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        package_.reset();
        FileEntryContents e = Named("lib.dll", c.flags);
        e.version_ms = c.ms;
        e.version_ls = c.ls;
        e.language = c.language;
        Package().Add(e, new_content);
        if (c.newer_text_empty) Package().messages[29] = "";
        Package().messages[30] = "";  // asked even when empty
        InstallPackage();
        std::string target = In("lib.dll");
        DeleteFileA(target.c_str());
        if (c.existing && std::string(c.existing) == "plain") ASSERT_TRUE(WriteFileBytes(target, Text("no resources")));
        else if (c.existing) ASSERT_TRUE(CopyFileA(TestLibrary(c.existing).c_str(), target.c_str(), FALSE));
        Bytes before = ReadFileBytes(target);
        g_questions.clear();
        g_answers.assign(c.answers.begin(), c.answers.end());

        Outcome o = Install(0);
        EXPECT_EQ(o.installed, c.installed);
        EXPECT_EQ(o.error, 0);
        EXPECT_EQ(ReadFileBytes(target), c.installed ? new_content : before);
        ASSERT_EQ(g_questions.size(), c.asked.size());
        for (size_t i = 0; i < c.asked.size(); ++i) {
            std::string expected = c.asked[i] == 29 ? "A newer " + target + " is installed. Replace it?" : "";
            EXPECT_EQ(g_questions[i].text, expected);
            EXPECT_EQ(g_questions[i].style, UINT(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
        }
    }
}

TEST_F(Extraction, ReadOnlyTargetIsReplacedAndReadOnlyAgain) {
    Package().Add(Named("ro.txt"), Text("new"));
    InstallPackage();
    for (bool nt : {true, false}) {
        g_state.is_nt = nt;
        std::string target = In("ro.txt");
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(WriteFileBytes(target, Text("old")));
        ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
        Outcome o = Install(0);
        EXPECT_EQ(o.error, 0) << nt;
        EXPECT_EQ(o.status, kStatusReplaced) << nt;
        EXPECT_EQ(ReadFileBytes(target), Text("new")) << nt;
        EXPECT_TRUE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY) << nt;
        EXPECT_TRUE(g_questions.empty());
    }
}

// A destination held open without sharing by another program.
class LockedTarget : public Extraction {
protected:
    void Lock(const std::string& path, DWORD share = 0) {
        lock_ = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(lock_, INVALID_HANDLE_VALUE);
    }
    void Unlock() {
        if (lock_ != INVALID_HANDLE_VALUE) CloseHandle(lock_);
        lock_ = INVALID_HANDLE_VALUE;
    }
    void TearDown() override {
        Unlock();
        Extraction::TearDown();
    }
    HANDLE lock_ = INVALID_HANDLE_VALUE;
};

TEST_F(LockedTarget, AbortRetryIgnore) {
    struct Case {
        const char* label;
        std::vector<int> answers;
        bool unlock_on_retry;
        bool read_only;
        int error;
        uint16_t status;
        const char* final_content;
    } cases[] = {
        {"Abort", {IDABORT}, false, false, 22, kStatusRefused, "old"},
        {"Ignore", {IDIGNORE}, false, false, 0, kStatusKept, "old"},
        {"box not shown counts as Abort", {}, false, false, 22, kStatusRefused, "old"},
        {"Retry while locked, then Ignore", {IDRETRY, IDIGNORE}, false, false, 0, kStatusKept, "old"},
        {"Retry after the lock is gone", {IDRETRY}, true, false, 0, kStatusReplaced, "new"},
        {"read-only and locked: Abort", {IDABORT}, false, true, 22, kStatusRefused, "old"},
        {"read-only and locked: Retry after the lock is gone", {IDRETRY}, true, true, 0, kStatusReplaced, "new"},
    };
    Package().Add(Named("locked.txt"), Text("new"));
    InstallPackage();
    std::string target = In("locked.txt");
    for (bool nt : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.label) + (nt ? " (NT)" : " (older platform)"));
            g_state.is_nt = nt;
            SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
            ASSERT_TRUE(WriteFileBytes(target, Text("old")));
            if (c.read_only) SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
            Lock(target);
            g_questions.clear();
            g_answers.assign(c.answers.begin(), c.answers.end());
            g_on_answer = [&](int answer) {
                if (answer == IDRETRY && c.unlock_on_retry) Unlock();
            };
            Outcome o = Install(0);
            Unlock();
            EXPECT_EQ(o.error, c.error);
            EXPECT_EQ(o.status, c.status);
            if (c.error) EXPECT_STREQ(g_state.message_argument, target.c_str());
            EXPECT_EQ(ReadFileBytes(target), Text(c.final_content));
            EXPECT_EQ(bool(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY), c.read_only);
            ASSERT_FALSE(g_questions.empty());
            EXPECT_EQ(g_questions[0].text, "Cannot replace " + target);
            EXPECT_EQ(g_questions[0].style, UINT(MB_ABORTRETRYIGNORE));
            EXPECT_EQ(FolderNames(folder_), std::vector<std::string>{"locked.txt"}) << "no temporary file left";
        }
    }
}

TEST_F(LockedTarget, KeptWithoutQuestionWhenIdenticalOrAFont) {
    Package().Add(Named("same.txt"), Text("same"));
    InstallPackage();
    std::string target = In("same.txt");
    ASSERT_TRUE(WriteFileBytes(target, Text("same")));
    Lock(target, FILE_SHARE_READ);  // readable, but it cannot be removed
    Outcome o = Install(0);
    EXPECT_EQ(o.error, 0);
    EXPECT_EQ(o.status, kStatusReplaced);
    EXPECT_TRUE(g_questions.empty());
    Unlock();

    // A font file that cannot be replaced stays as it is (placed directly:
    // a real Fonts folder is not the test's to change).
    uint8_t* entry = Package().Entry(0);
    entry[kEntryDestinationKind] = kDestinationFonts;
    ASSERT_TRUE(WriteFileBytes(target, Text("an old font")));
    std::string temporary = In("same.$$A");
    ASSERT_TRUE(WriteFileBytes(temporary, Text("same")));
    lstrcpyA(g_state.work_path, target.c_str());
    Lock(target);
    PlaceNow(entry, temporary.c_str());
    Unlock();
    EXPECT_EQ(ReadU16(entry + kEntryInstallStatus), kStatusKept) << "the old font is not this installation's";
    EXPECT_TRUE(g_questions.empty());
    EXPECT_EQ(ReadFileBytes(target), Text("an old font"));
    EXPECT_FALSE(Exists(temporary));
}

// PendingFileRenameOperations, where Windows NT keeps its delayed moves:
// saved before a test that schedules one and put back after it.
class ScheduledAtRestart : public LockedTarget {
protected:
    static constexpr const char* kKey = "System\\CurrentControlSet\\Control\\Session Manager";
    static constexpr const char* kValue = "PendingFileRenameOperations";
    void SetUp() override {
        LockedTarget::SetUp();
        existed_ = Pending(&saved_);
    }
    void TearDown() override {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            if (existed_) RegSetValueExA(key, kValue, 0, REG_MULTI_SZ, saved_.data(), DWORD(saved_.size()));
            else RegDeleteValueA(key, kValue);
            RegCloseKey(key);
        }
        LockedTarget::TearDown();
    }
    static bool Pending(std::vector<BYTE>* data) {
        HKEY key;
        data->clear();
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
        DWORD size = 0, type;
        bool found = RegQueryValueExA(key, kValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
        data->assign(size, 0);
        if (found && size) RegQueryValueExA(key, kValue, nullptr, &type, data->data(), &size);
        RegCloseKey(key);
        return found;
    }
    // True when a delayed move of the file is recorded (names compared case-blind).
    static bool IsScheduled(const std::string& source) {
        std::vector<BYTE> data;
        Pending(&data);
        std::string all(data.begin(), data.end()), name = source;
        CharUpperA(&all[0]);
        CharUpperA(&name[0]);
        return all.find(name) != std::string::npos;
    }
    std::vector<BYTE> saved_;
    bool existed_ = false;
};

std::string g_in_use_folder;
DWORD WINAPI ReportInUse(DWORD, LPSTR, LPSTR, LPSTR, LPSTR current, PUINT current_size, LPSTR recommended,
                         PUINT recommended_size) {
    lstrcpynA(current, g_in_use_folder.c_str(), int(*current_size));
    lstrcpynA(recommended, g_in_use_folder.c_str(), int(*recommended_size));
    return VFF_FILEINUSE;
}

TEST_F(ScheduledAtRestart, FileInUseWaitsForTheRestart) {
    Package().Add(Named("inuse.dll", 0, kDestinationShared), Text("new shared"));
    Package().Add(Named("same.dll", 0, kDestinationShared), Text("same shared"));
    InstallPackage();
    g_state.is_nt = true;
    ASSERT_TRUE(WriteFileBytes(In("inuse.dll"), Text("old shared")));
    ASSERT_TRUE(WriteFileBytes(In("same.dll"), Text("same shared")));
    // The version library reports the files in use where they lie.
    g_in_use_folder = folder_;
    SetSharedFileFinder(ReportInUse);

    // Identical in size and checksum: nothing to do.
    Outcome same = Install(1);
    EXPECT_FALSE(same.installed);
    EXPECT_FALSE(g_state.restart_needed);

    Outcome o = Install(0);
    EXPECT_TRUE(o.installed);
    EXPECT_EQ(o.error, 0);
    EXPECT_EQ(o.status, kStatusNotPlaced);
    EXPECT_TRUE(g_state.restart_needed);
    EXPECT_EQ(ReadFileBytes(In("inuse.dll")), Text("old shared"));
    // The new file waits beside it under its temporary name.
    EXPECT_EQ(ReadFileBytes(In("inuse.$$A")), Text("new shared"));
    EXPECT_TRUE(IsScheduled(In("inuse.$$A")));
    EXPECT_TRUE(g_questions.empty());
}

TEST_F(ScheduledAtRestart, LockedSystemAndSharedFilesWaitForTheRestart) {
    Package().Add(Named("sys.dll"), Text("new"));
    InstallPackage();
    g_state.is_nt = true;
    std::string target = In("sys.dll"), temporary = In("sys.$$A");
    uint8_t* entry = Package().Entry(0);
    for (uint8_t kind : {kDestinationWindows, kDestinationShared}) {
        entry[kEntryDestinationKind] = kind;
        ASSERT_TRUE(WriteFileBytes(target, Text("old")));
        ASSERT_TRUE(WriteFileBytes(temporary, Text("new")));
        lstrcpyA(g_state.work_path, target.c_str());
        g_state.restart_needed = false;
        Lock(target);
        PlaceNow(entry, temporary.c_str());
        Unlock();
        EXPECT_EQ(ReadU16(entry + kEntryInstallStatus), kStatusReplaced) << int(kind);
        EXPECT_TRUE(g_state.restart_needed) << int(kind);
        EXPECT_EQ(ReadFileBytes(target), Text("old")) << int(kind);
        EXPECT_EQ(ReadFileBytes(temporary), Text("new")) << int(kind);
        EXPECT_TRUE(IsScheduled(temporary)) << int(kind);
    }
    EXPECT_TRUE(g_questions.empty());
}

// Files after the first in a folder find it as the current directory and
// do not make it again; one that went away meanwhile is made again.
TEST_F(Extraction, FolderThatWentAwayIsMadeAgain) {
    Package().Add(Named("sub\\a.txt"), Text("a"));
    Package().Add(Named("sub\\b.txt"), Text("b"));
    InstallPackage();
    EXPECT_EQ(Install(0).error, 0);
    ASSERT_TRUE(DeleteFileA(In("sub\\a.txt").c_str()));
    if (!RemoveDirectoryA(In("sub").c_str())) GTEST_SKIP() << "the current directory cannot be removed here";
    EXPECT_EQ(Install(1).error, 0);
    EXPECT_EQ(ReadFileBytes(In("sub\\b.txt")), Text("b"));
}

TEST_F(Extraction, TemporaryNamesNeverTakeAnExistingFile) {
    Package().Add(Named("app.exe"), Text("new"));
    InstallPackage();
    // Leftovers of an earlier run: one of them cannot even be opened.
    ASSERT_TRUE(WriteFileBytes(In("app.$$A"), Text("left A")));
    ASSERT_TRUE(WriteFileBytes(In("app.$$B"), Text("left B")));
    HANDLE held = CreateFileA(In("app.$$B").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    uint8_t* entry = Package().Entry(0);
    ResolveEntryPath(entry);
    HANDLE temporary = CreateTemporaryFile();
    ASSERT_NE(temporary, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::string(g_state.temporary_path), In("app.$$C"));
    CloseHandle(temporary);
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(In("app.$$A")), Text("left A"));
    EXPECT_EQ(ReadFileBytes(In("app.$$B")), Text("left B"));
    DeleteFileA(In("app.$$C").c_str());

    // Every name up to .$$Z taken: no name is left.
    for (char c = 'C'; c <= 'Z'; ++c) WriteFileBytes(In(std::string("app.$$") + c), Text("left"));
    EXPECT_EQ(Install(0).error, 17);
    EXPECT_EQ(ReadFileBytes(In("app.$$Z")), Text("left"));
    EXPECT_FALSE(Exists(In("app.exe")));
}

TEST_F(Extraction, UninstallerIsItsBodyAndItsData) {
    Package().Add(Named("uninst.exe", kEntryIsUninstaller), Text("+DATA"));
    Package().uninstaller_body = Text("UNINSTALLER BODY");
    InstallPackage();
    WriteU32(Package().Entry(0) + kEntryChecksum, 0xBAD);  // not verified
    Outcome o = Install(0);
    EXPECT_EQ(o.error, 0);
    EXPECT_EQ(ReadFileBytes(In("uninst.exe")), Text("UNINSTALLER BODY+DATA"));

    // Without an uninstaller body nothing is written.
    g_config.uninstaller = {nullptr, 0};
    DeleteFileA(In("uninst.exe").c_str());
    o = Install(0);
    EXPECT_EQ(o.error, 0);
    EXPECT_EQ(ReadFileBytes(In("uninst.exe")), Bytes());
}

// ---------------------------------------------------------------------------
// Deltas.

class Deltas : public Extraction {
protected:
    // A base file of setup type `type` (entry 0 there) and a delta on it.
    // Entry 0 is the base file, entry 1 the delta.
    void AddBaseAndDelta(const DeltaItems& items, const Bytes& result) {
        Package().Add(Named("base.bin"), base_);
        Package().AddDelta(Named("new.bin"), 0, items, result);
    }
    Bytes Slice(size_t from, size_t count) const { return Bytes(base_.begin() + from, base_.begin() + from + count); }
    const Bytes base_ = Noise(40000, 11);
};

TEST_F(Deltas, BuildTheFileFromItsBase) {
    // Every op form and displacement form, among them 0xA3 (one literal,
    // then a copy of 5), S = +16,416 (0xC0 0x00 0x00), S = -16,416 (0x40 0x00)
    // and S = -27 (0xA5).
    DeltaItems items;
    items.commands = {0xA3, 0x80,                    // 'L', base[0..5)   P = 5
                      0x01, 0xC0, 0x00, 0x00,        // base[16421..16423) P = 16423
                      0x27, 0x40, 0x00,              // base[7..47)        P = 47
                      0x03, 0xA5,                    // base[20..24)       P = 24
                      0x84,                          // 5 literals
                      0x00, 0x10, 0x00, 0x80};       // 16 + 129 bytes from P = 24
    items.literals = Text("LABCDE");
    Bytes expected = Text("L");
    auto add = [&](size_t from, size_t count) { expected.insert(expected.end(), base_.begin() + from, base_.begin() + from + count); };
    add(0, 5);
    add(16421, 2);
    add(7, 40);
    add(20, 4);
    for (char c : std::string("ABCDE")) expected.push_back(uint8_t(c));
    add(24, 145);

    for (const Way& way : kWays) {
        SCOPED_TRACE(way.label);
        SetDecodedFileLimits(way.in_memory_limit, kKeptBasesLimit);
        for (bool compressed : {true, false}) {
            SCOPED_TRACE(compressed ? "compressed items" : "stored items");
            package_.reset();
            DeleteFileA(In("new.bin").c_str());
            items.compressed = compressed;
            AddBaseAndDelta(items, expected);
            InstallPackage();
            Outcome o = Install(1);
            EXPECT_EQ(o.error, 0);
            EXPECT_EQ(o.status, kStatusNew);
            EXPECT_EQ(ReadFileBytes(In("new.bin")), expected);
            EXPECT_EQ(FolderNames(folder_), std::vector<std::string>{"new.bin"});
        }
    }
}

// A base is decoded once and kept while later deltas of the list need it,
// also when it comes after its delta; each use of a kept copy is checked by
// the base's size and checksum. Keeping is seen here by pointing the base
// entries at the wrong archive data once they have been decoded: a kept
// copy does not notice, a base decoded again fails its checksum.
TEST_F(Deltas, ABaseIsDecodedOnceAndKeptWhileDeltasNeedIt) {
    const Bytes later = Noise(30000, 12);
    DeltaItems head, twenty;
    head.commands = {0x09, 0x80};    // base[0..10)
    twenty.commands = {0x13, 0x80};  // base[0..20)
    Package().Add(Named("base.bin"), base_);                                        // 0
    Package().AddDelta(Named("one.bin"), 0, head, Slice(0, 10));                    // 1
    Package().AddDelta(Named("two.bin"), 3, head, Bytes(later.begin(), later.begin() + 10));  // 2
    Package().Add(Named("later.bin"), later);                                        // 3
    Package().Add(Named("plain.txt"), Text("between"));                              // 4
    Package().AddDelta(Named("three.bin"), 0, twenty, Slice(0, 20));                // 5
    InstallPackage();
    const uint32_t base_offset = ReadU32(Package().Entry(0) + kEntryArchiveOffset);
    auto point_at_plain = [&](int k) {
        WriteU32(Package().Entry(k) + kEntryArchiveOffset, ReadU32(Package().Entry(4) + kEntryArchiveOffset));
    };
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(Install(k).error, 0) << k;
        if (k == 0) point_at_plain(0);
        if (k == 2) point_at_plain(3);
    }
    EXPECT_EQ(ReadFileBytes(In("later.bin")), later);
    EXPECT_EQ(ReadFileBytes(In("three.bin")), Slice(0, 20));

    // Nothing kept: each use decodes the base again.
    SetDecodedFileLimits(kInMemoryFileLimit, 0);
    WriteU32(Package().Entry(0) + kEntryArchiveOffset, base_offset);
    EXPECT_EQ(Install(0).error, 0);
    point_at_plain(0);
    EXPECT_EQ(Install(1).error, 21);
}

TEST_F(Deltas, BaseComesFromTheEntrysSetupType) {
    DeltaItems items;
    items.commands = {0x09, 0x80};
    Package().Add(Named("decoy.bin"), Noise(40000, 99));             // type 0, entry 0
    Package().Add(Named("base.bin"), base_, 1);                      // type 1, entry 0
    Package().AddDelta(Named("new.bin"), 0, items, Slice(0, 10));   // type 0, entry 1
    InstallPackage();
    WriteU16(Package().Entry(1) + kEntrySetupType, 1);
    Outcome o = Install(1);
    EXPECT_EQ(o.error, 0);
    EXPECT_EQ(ReadFileBytes(In("new.bin")), Slice(0, 10));
}

TEST_F(Deltas, EmptyCommandItem) {
    // Passes when the entry describes an empty file ...
    AddBaseAndDelta(DeltaItems(), Bytes());
    InstallPackage();
    ASSERT_TRUE(WriteFileBytes(In("new.bin"), Text("old")));
    Outcome o = Install(1);
    EXPECT_EQ(o.error, 0);
    EXPECT_EQ(o.status, kStatusReplaced);
    EXPECT_EQ(ReadFileBytes(In("new.bin")), Bytes());
    // ... and fails the checksum when it does not.
    ASSERT_TRUE(WriteFileBytes(In("new.bin"), Text("old")));
    WriteU32(Package().Entry(1) + kEntryChecksum, 1);
    o = Install(1);
    EXPECT_EQ(o.error, 21);
    EXPECT_EQ(ReadFileBytes(In("new.bin")), Text("old"));
}

TEST_F(Deltas, FaultyDeltasLeaveNothingBehind) {
    struct Case {
        const char* label;
        Bytes commands, literals;
        int error;
        const char* argument;  // "dest", "output" (the .$AA file) or "" (unchanged)
        std::function<void(uint8_t* base, uint8_t* delta)> damage;
    };
    const Case cases[] = {
        {"literal run with no literals", {0x80}, {}, 19, "output"},
        {"literal run past the literals", {0x83}, {1, 2}, 19, "output"},
        {"copy longer than the copy buffer", {0x00, 0x80, 0xFF, 0x80}, {}, 19, "output"},
        {"commands cut inside an op", {0x05}, {}, 19, "output"},
        {"copy before the base", {0x01, 0xBF}, {}, 18, "dest"},
        {"copy past the base", {0x01, 0xDF, 0xFF, 0xFF}, {}, 18, "dest"},
        {"output longer than the entry's file", {0x09, 0x80, 0x09, 0x80}, {}, 21, "dest"},
        {"base file differs from its entry", {0x09, 0x80}, {}, 21, "dest",
         [](uint8_t* base, uint8_t*) { WriteU32(base + kEntryChecksum, ReadU32(base + kEntryChecksum) + 1); }},
        {"base entry that does not exist", {0x09, 0x80}, {}, 16, "dest",
         [](uint8_t*, uint8_t* delta) { WriteU32(delta + kEntryBaseOrdinal, 7); }},
        {"base entry of a setup type that does not exist", {0x09, 0x80}, {}, 16, "dest",
         [](uint8_t*, uint8_t* delta) { WriteU16(delta + kEntrySetupType, 5); }},
    };
    for (const Way& way : kWays) {
        SCOPED_TRACE(way.label);
        SetDecodedFileLimits(way.in_memory_limit, kKeptBasesLimit);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.label);
            package_.reset();
            DeltaItems items;
            items.commands = c.commands;
            items.literals = c.literals;
            AddBaseAndDelta(items, Slice(0, 10));
            InstallPackage();
            if (c.damage) c.damage(Package().Entry(0), Package().Entry(1));
            ASSERT_TRUE(WriteFileBytes(In("new.bin"), Text("old")));

            Outcome o = Install(1);
            EXPECT_EQ(o.error, c.error);
            std::string argument = c.argument;
            if (argument == "dest") EXPECT_EQ(std::string(g_state.message_argument), In("new.bin"));
            if (argument == "output") EXPECT_EQ(std::string(g_state.message_argument), In("new.$AA"));
            EXPECT_EQ(ReadFileBytes(In("new.bin")), Text("old"));
            EXPECT_EQ(FolderNames(folder_), std::vector<std::string>{"new.bin"});
        }
    }
}

TEST_F(Deltas, NoMemoryForTheCopyBuffer) {
    DeltaItems items;
    items.commands = {0x09, 0x80};
    items.literals = {1};
    items.compressed = false;
    AddBaseAndDelta(items, Slice(0, 10));
    InstallPackage();
    // The base file as the delta step finds it.
    std::string base_path = In("new.$$A");
    ASSERT_TRUE(WriteFileBytes(base_path, base_));
    lstrcpyA(g_state.work_path, In("new.bin").c_str());
    FailAllocationsAfter(2, 2);  // the two items, then the copy buffer and its retry
    EXPECT_EQ(ApplyDelta(Package().Entry(1), base_path.c_str(), 0, 0), 0);
    EXPECT_EQ(g_state.install_error, 12);
    EXPECT_EQ(FolderNames(folder_), std::vector<std::string>{"new.$$A"});
}

std::vector<int> g_reported;

TEST_F(Deltas, ProgressMovesWithinTheEntrysShare) {
    // 400 copies of 500 bytes, each starting 50 bytes after the one before
    // (S = -450 in the two-byte form): 200,000 bytes, 21 progress units.
    DeltaItems items;
    Bytes expected;
    int64_t p = 0;
    for (int i = 0; i < 400; ++i) {
        int64_t from = int64_t(i) * 50;
        int32_t s = int32_t(from - p);
        items.commands.insert(items.commands.end(), {0x00, uint8_t(500 - 129), 0x01});  // K = 371
        if (s == 0) {
            items.commands.push_back(0x80);
        } else {
            uint32_t v = uint32_t(s + 32768 + 32);
            items.commands.push_back(uint8_t(v >> 8));
            items.commands.push_back(uint8_t(v));
        }
        p = from + 500;
        expected.insert(expected.end(), base_.begin() + from, base_.begin() + from + 500);
    }
    AddBaseAndDelta(items, expected);
    InstallPackage();
    SetProgressObserver([](int percent, const char*) { g_reported.push_back(percent); });
    for (const Way& way : kWays) {
        SCOPED_TRACE(way.label);
        SetDecodedFileLimits(way.in_memory_limit, kKeptBasesLimit);
        g_reported.clear();
        Outcome o = Install(1, -1, 10, 60);
        ASSERT_EQ(o.error, 0);
        EXPECT_EQ(ReadFileBytes(In("new.bin")), expected);
        ASSERT_FALSE(g_reported.empty());
        for (size_t i = 0; i < g_reported.size(); ++i) {
            EXPECT_GT(g_reported[i], 10);
            EXPECT_LE(g_reported[i], 60);
            if (i) EXPECT_GT(g_reported[i], g_reported[i - 1]) << "only changes are reported";
        }
        EXPECT_EQ(g_reported.back(), 60);
    }
}

// ---------------------------------------------------------------------------
// A full disk. Wine cannot make one: the test needs a folder on a small file
// system, named by KILN_FULL_FOLDER (a Windows path), for instance
//   mkdir -p /tmp/kiln-full && mount -t tmpfs -o size=256k tmpfs /tmp/kiln-full
//   KILN_FULL_FOLDER='Z:\tmp\kiln-full' scripts/wine-run build/win32/win32_tests.exe --gtest_filter='*DiskFull*'

TEST_F(Extraction, DiskFull) {
    const char* full = getenv("KILN_FULL_FOLDER");
    if (!full || !*full) GTEST_SKIP() << "set KILN_FULL_FOLDER to a folder on a small file system";
    std::string target_folder = std::string(full) + "\\kiln-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(target_folder.c_str(), nullptr));
    // Fill the file system but for about 100 KiB.
    ULARGE_INTEGER free_bytes;
    ASSERT_TRUE(GetDiskFreeSpaceExA(target_folder.c_str(), &free_bytes, nullptr, nullptr));
    ASSERT_GT(free_bytes.QuadPart, 120u * 1024);
    ASSERT_TRUE(WriteFileBytes(target_folder + "\\filler", Bytes(size_t(free_bytes.QuadPart - 100 * 1024), 0)));
    ASSERT_TRUE(WriteFileBytes(target_folder + "\\keep.bin", Text("the old file")));

    Package().Add(Named("keep.bin"), Noise(300 * 1024, 5));
    Package().Add(Named("base.bin"), Noise(70 * 1024, 6));
    // The base's first 64 KiB six times over (S = 0, then S = -65,536).
    DeltaItems items;
    items.commands = {0x00, 0x7F, 0xFF, 0x80};
    for (int i = 0; i < 5; ++i) items.commands.insert(items.commands.end(), {0x00, 0x7F, 0xFF, 0xFF, 0x40, 0x20});
    Package().AddDelta(Named("keep.bin"), 1, items, Bytes(6 * 65536, 0));  // never fits: its content does not matter
    // Over 16 MiB: decoded through a temporary file rather than in memory.
    Package().Add(Named("large.bin"), Bytes(17 << 20, 7));
    Package().Install(target_folder);

    Outcome o = Install(0);
    EXPECT_EQ(o.error, 20) << "the drive is full, not the file damaged";
    EXPECT_EQ(ReadFileBytes(target_folder + "\\keep.bin"), Text("the old file"));

    o = Install(2);
    EXPECT_EQ(o.error, 20);
    EXPECT_EQ(ReadFileBytes(target_folder + "\\keep.bin"), Text("the old file"));
    o = Install(3);
    EXPECT_EQ(o.error, 20) << "a large file on a full drive: the drive is full too";
    EXPECT_EQ(FolderNames(target_folder), (std::vector<std::string>{"filler", "keep.bin"}));
    SetCurrentDirectoryA(folder_.c_str());  // out of the folder that goes
    RemoveTree(target_folder);
}

// The uninstaller's body that does not fit: the drive is full (20), not
// install error 3, whose text is a label of the folder browser.
TEST_F(Extraction, UninstallerOnAFullDisk) {
    const char* full = getenv("KILN_FULL_FOLDER");
    if (!full || !*full) GTEST_SKIP() << "set KILN_FULL_FOLDER to a folder on a small file system";
    std::string target_folder = std::string(full) + "\\kiln-uninstaller-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(target_folder.c_str(), nullptr));
    ULARGE_INTEGER free_bytes;
    ASSERT_TRUE(GetDiskFreeSpaceExA(target_folder.c_str(), &free_bytes, nullptr, nullptr));
    ASSERT_GT(free_bytes.QuadPart, 120u * 1024);
    ASSERT_TRUE(WriteFileBytes(target_folder + "\\filler", Bytes(size_t(free_bytes.QuadPart - 100 * 1024), 0)));

    Package().Add(Named("uninst.exe", kEntryIsUninstaller), Text("+DATA"));
    Package().uninstaller_body = Noise(300 * 1024, 8);
    Package().Install(target_folder);
    Outcome o = Install(0);
    EXPECT_EQ(o.error, 20);
    EXPECT_EQ(FolderNames(target_folder), (std::vector<std::string>{"filler"}));
    SetCurrentDirectoryA(folder_.c_str());  // out of the folder that goes
    RemoveTree(target_folder);
}

}  // namespace
