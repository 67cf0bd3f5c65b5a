// The file archive across the setup file and its volume files: positions at
// archive offsets, reads and bounded decodes across volume ends, the disk
// prompt with scripted answers, and archive items.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "decoder/archive.h"
#include "decoder/stream_decoder.h"
#include "engine/memory.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "tests/win32/package_file.h"
#include "wizard/message_box.h"

namespace {

using Strings = std::vector<std::string>;

void WriteBytes(const std::string& path, const Bytes& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    if (!bytes.empty()) WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

Bytes Pattern(size_t n, uint32_t seed) {
    Bytes b(n);
    for (uint8_t& x : b) x = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
    return b;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Text(const char* text) { return Bytes(text, text + strlen(text)); }

// The group 6 texts the archive shows, in the current setup type.
struct MessageTexts {
    Bytes record;
    explicit MessageTexts(const std::string& disk_prompt = "Please insert disk %d.") {
        ProductType t = TestType("Kiln", "C:\\Kiln");
        t.texts[6][13] = "End the installation?";
        t.texts[6][15] = "The setup was cancelled.";
        t.texts[6][28] = disk_prompt;
        record = SetupTypeRecord(t);
        FreeSetupConfig();
        g_config.types[0].record = {record.data(), uint32_t(record.size())};
        g_config.type_count = 1;
        SelectSetupType(0);
    }
    ~MessageTexts() {
        g_config.types[0].record = {nullptr, 0};  // owned here
        FreeSetupConfig();
    }
};

// Message boxes answered from a script; a box beyond the script gets 0, as
// a box that could not be shown.
struct Shown {
    std::string text, caption;
    UINT style;
};
std::vector<Shown> g_shown;
std::vector<int> g_answers;
std::function<void(size_t)> g_on_box;  // runs while box i is up, e.g. to put the disk in

int Answer(const char* text, const char* caption, UINT style) {
    g_shown.push_back({text, caption, style});
    size_t i = g_shown.size() - 1;
    if (g_on_box) g_on_box(i);
    return i < g_answers.size() ? g_answers[i] : 0;
}

void Script(std::vector<int> answers, std::function<void(size_t)> on_box = nullptr) {
    g_shown.clear();
    g_answers = std::move(answers);
    g_on_box = std::move(on_box);
    SetMessageAnswerer(Answer);
}

// A setup file (stand-in stub, a record, then the archive record holding
// volume 0) and volume files beside it, cut from one run of archive bytes.
// The folder and everything in it go with the object.
struct SplitArchive {
    std::string folder, setup_path;
    Bytes data;
    std::vector<uint32_t> lengths;
    Strings made;

    SplitArchive(const Bytes& archive, const std::vector<uint32_t>& volume_lengths,
                 const std::string& setup_name = "SETUP.EXE")
        : data(archive), lengths(volume_lengths) {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        // One folder per process: test runs may overlap in one Wine prefix.
        folder = std::string(temp) + "kiln archive test " + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder.c_str(), nullptr);
        size_t slash = setup_name.rfind('\\');
        if (slash != std::string::npos) Make(folder + "\\" + setup_name.substr(0, slash), true);
        setup_path = folder + "\\" + setup_name;
        Bytes file(300, 'S');
        PutRecord(file, {kTagSetupFlags, U32Body(0)});
        start_position = uint32_t(file.size()) + 8;
        PutRecord(file, {kTagArchive, Join({U32Body(lengths[0]), Part(0)})});  // L0, then volume 0
        WriteBytes(Make(setup_path), file);
    }
    ~SplitArchive() {
        CloseArchive();
        SetMessageAnswerer(nullptr);
        for (auto p = made.rbegin(); p != made.rend(); ++p)
            if (!DeleteFileA(p->c_str())) RemoveDirectoryA(p->c_str());
        RemoveDirectoryA(folder.c_str());
    }
    std::string Make(const std::string& path, bool is_folder = false) {
        if (is_folder) CreateDirectoryA(path.c_str(), nullptr);
        made.push_back(path);
        return path;
    }
    uint32_t Base(size_t k) const {
        uint32_t base = 0;
        for (size_t i = 0; i < k; ++i) base += lengths[i];
        return base;
    }
    Bytes Part(size_t k) const { return Bytes(data.begin() + Base(k), data.begin() + Base(k) + lengths[k]); }
    std::string VolumePath(int k) const {
        std::string path = setup_path.substr(0, setup_path.rfind('\\') + 1) + "SETUP.D0" + std::to_string(k);
        return path;
    }
    // Volume file k: its length (or `length` as given), its bytes, and any trailing bytes.
    void WriteVolume(int k, const Bytes& after = {}, int64_t length = -1) {
        Bytes file(4);
        WriteU32(file.data(), length < 0 ? lengths[k] : uint32_t(length));
        Bytes part = Part(k);
        file.insert(file.end(), part.begin(), part.end());
        file.insert(file.end(), after.begin(), after.end());
        WriteBytes(Make(VolumePath(k)), file);
    }
    void WriteAllVolumes() {
        for (size_t k = 1; k < lengths.size(); ++k) WriteVolume(int(k));
    }
    // As at the start of an installation: the state the package loader left, then OpenArchive.
    void Open(bool prompt_mode = false) {
        CloseArchive();
        ResetProcessState();
        lstrcpynA(g_state.source_path, setup_path.c_str(), MAX_PATH);
        g_archive = {INVALID_HANDLE_VALUE, 0, start_position, lengths[0], 0, lengths[0], prompt_mode, 0, false, 0, 0};
        ASSERT_TRUE(OpenArchive());
    }
    Bytes Expected(uint32_t x, size_t n) const { return Bytes(data.begin() + x, data.begin() + x + n); }

    uint32_t start_position = 0;
};

// Reads n bytes at archive offset x in one call; the result of the read.
int ReadAt(uint32_t x, DWORD n, Bytes* out) {
    int positioned = ArchivePosition(x);
    if (positioned) return 100 + positioned;
    out->assign(n, 0);
    DWORD got = 0;
    int result = ArchiveRead(g_archive.handle, out->data(), n, &got);
    out->resize(got);
    return result;
}

TEST(ArchiveVolumes, APackageWhollyInTheSetupFileNeverLooksForAVolume) {
    MessageTexts texts;
    Bytes first_expected, second_expected;
    Bytes first = FixedBlockStream(50000, 1, &first_expected);
    Bytes second = FixedBlockStream(90000, 2, &second_expected);
    Bytes stored = Pattern(5000, 3);
    SplitArchive a(Join({stored, first, second}), {uint32_t(stored.size() + first.size() + second.size())});
    a.Open(true);
    Script({});
    for (uint32_t x : {0u, 1u, 4095u, 4999u}) {
        Bytes got;
        EXPECT_EQ(ReadAt(x, DWORD(stored.size() - x), &got), 0);
        EXPECT_TRUE(got == a.Expected(x, stored.size() - x)) << x;
    }
    // The last stream ends where the setup file does: its bounded decode stops there.
    for (int pass = 0; pass < 2; ++pass) {
        Bytes out(second_expected.size());
        ASSERT_EQ(ArchivePosition(uint32_t(stored.size() + first.size())), 0);
        EXPECT_EQ(DecodeToMemory(out.data(), DWORD(out.size()), g_archive.handle, DWORD(second.size())), 1);
        EXPECT_TRUE(out == second_expected);
        ASSERT_EQ(ArchivePosition(uint32_t(stored.size())), 0);
        EXPECT_EQ(DecodeToMemory(out.data(), DWORD(first_expected.size()), g_archive.handle, DWORD(first.size())), 1);
        EXPECT_TRUE(std::equal(first_expected.begin(), first_expected.end(), out.begin()));
    }
    EXPECT_TRUE(g_shown.empty());
    EXPECT_EQ(g_archive.volume_number, 0);
}

TEST(ArchiveVolumes, VolumeFilesAreNamedAfterTheSetupFile) {
    struct Case {
        const char* setup_name;
        const char* volume_name;  // inside the test folder
    } cases[] = {
        {"SETUP.EXE", "SETUP.D01"},
        {"SETUP", "SETUP.D01"},
        {"v1.5\\SETUP", "v1.5\\SETUP.D01"},  // the dot belongs to the folder
        {"v1.5\\SETUP.EXE", "v1.5\\SETUP.D01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setup_name);
        SplitArchive a(Pattern(100, 4), {60, 40}, c.setup_name);
        std::string expected = a.folder + "\\" + c.volume_name;
        ASSERT_EQ(a.VolumePath(1), expected);
        a.Open();
        EXPECT_EQ(ArchivePosition(60), 18);
        EXPECT_EQ(std::string(g_state.message_argument), expected);
        a.WriteVolume(1);
        Bytes got;
        EXPECT_EQ(ReadAt(60, 40, &got), 0);
        EXPECT_TRUE(got == a.Expected(60, 40));
        EXPECT_EQ(std::string(g_state.current_volume_path), expected);
    }
}

TEST(ArchiveVolumes, EachOffsetBelongsToItsVolume) {
    SplitArchive a(Pattern(100, 5), {50, 30, 20});
    a.WriteVolume(1, Text("TRAILING"));
    a.WriteVolume(2);
    a.Open();
    struct Case {
        uint32_t x;
        int volume;
    } cases[] = {{0, 0}, {49, 0}, {50, 1}, {79, 1}, {80, 2}, {99, 2}};  // base + length is the next volume's
    for (const Case& c : cases) {
        Bytes got;
        EXPECT_EQ(ReadAt(c.x, 1, &got), 0) << c.x;
        EXPECT_TRUE(got == a.Expected(c.x, 1)) << c.x;
        EXPECT_EQ(g_archive.volume_number, c.volume) << c.x;
        EXPECT_EQ(g_archive.volume_base, a.Base(c.volume)) << c.x;
    }
    EXPECT_EQ(ArchivePosition(100), 18) << "past the last volume";
    Bytes got;
    EXPECT_EQ(ReadAt(10, 1, &got), 0) << "and back";
    EXPECT_TRUE(got == a.Expected(10, 1));
}

// Going back reopens the volume that holds the offset, stepping back one
// volume at a time, so that only the disks in between are needed.
TEST(ArchiveVolumes, AnOffsetInAnEarlierVolumeReopensThatVolume) {
    SplitArchive a(Pattern(100, 6), {50, 30, 20});
    a.WriteAllVolumes();
    a.Open();
    struct Case {
        uint32_t x;
        int volume;
    } visits[] = {{99, 2}, {5, 0}, {85, 2}, {60, 1}, {49, 0}, {50, 1}, {0, 0}};
    for (const Case& c : visits) {
        ASSERT_EQ(ArchivePosition(c.x), 0) << c.x;
        EXPECT_EQ(g_archive.volume_number, c.volume) << c.x;
        DWORD n = std::min<DWORD>(3, 100 - c.x), got_count = 0;
        Bytes got(n);
        EXPECT_EQ(ArchiveRead(g_archive.handle, got.data(), n, &got_count), 0) << c.x;
        EXPECT_TRUE(got == a.Expected(c.x, n)) << c.x;
    }
    // The earlier volume is gone: reported by its name, and the archive
    // still knows where it is once the volume is back.
    ASSERT_EQ(ArchivePosition(90), 0);
    DeleteFileA(a.VolumePath(1).c_str());
    EXPECT_EQ(ArchivePosition(55), 18);
    EXPECT_EQ(std::string(g_state.message_argument), a.VolumePath(1));
    a.WriteVolume(1);
    for (uint32_t x : {55u, 95u, 10u}) {
        Bytes got;
        EXPECT_EQ(ReadAt(x, 1, &got), 0) << x;
        EXPECT_TRUE(got == a.Expected(x, 1)) << x;
    }
}

TEST(ArchiveVolumes, AReadRunsOnIntoTheNextVolumesInOneCall) {
    SplitArchive a(Pattern(100, 7), {50, 30, 20});
    a.WriteVolume(1, Text("TRAILING BYTES ARE NOT ARCHIVE"));
    a.WriteVolume(2);
    a.Open();
    struct Case {
        const char* name;
        uint32_t x;
        DWORD first;      // read first, then
        LONG give_back;   // moved back, as a decoder gives back its read-ahead
        DWORD count;      // the read that is checked
    } cases[] = {
        {"within a volume", 10, 0, 0, 20},
        {"into the next volume", 40, 0, 0, 20},
        {"across a volume with trailing bytes", 75, 0, 0, 10},
        {"across two volume ends", 45, 0, 0, 50},
        {"the whole archive", 0, 0, 0, 100},
        {"after bytes given back", 40, 6, 4, 20},
        {"after bytes given back, to trailing bytes", 70, 6, 2, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(ArchivePosition(c.x), 0);
        Bytes buffer(c.first + c.count);
        DWORD got = 0;
        if (c.first) {
            ASSERT_EQ(ArchiveRead(g_archive.handle, buffer.data(), c.first, &got), 0);
            SetFilePointer(g_archive.handle, -c.give_back, nullptr, FILE_CURRENT);
        }
        EXPECT_EQ(ArchiveRead(g_archive.handle, buffer.data(), c.count, &got), 0);
        EXPECT_EQ(got, c.count);
        buffer.resize(got);
        EXPECT_TRUE(buffer == a.Expected(c.x + c.first - c.give_back, c.count));
    }
    // Past the end of the last volume: the bytes that are there, and a failure.
    ASSERT_EQ(ArchivePosition(90), 0);
    Bytes buffer(20);
    DWORD got = 0;
    EXPECT_EQ(ArchiveRead(g_archive.handle, buffer.data(), 20, &got), 1);
    EXPECT_EQ(got, 10u);
}

// A volume file shorter than its length says ended early: it is reopened
// where it stopped, and the read comes back short instead of taking the
// next volume's bytes for the missing ones.
TEST(ArchiveVolumes, AVolumeThatEndsEarlyIsNotSkipped) {
    SplitArchive a(Pattern(100, 8), {50, 30, 20});
    a.lengths[1] = 20;  // only 20 of the 30 bytes are written
    a.WriteVolume(1, {}, 30);
    a.lengths[1] = 30;
    a.WriteVolume(2);
    a.Open();
    Bytes got;
    EXPECT_EQ(ReadAt(60, 20, &got), 0);
    EXPECT_TRUE(got == a.Expected(60, 10));
    EXPECT_EQ(g_archive.volume_number, 1);
    EXPECT_EQ(std::string(g_state.current_volume_path), a.VolumePath(1));
}

TEST(ArchiveVolumes, AVolumeWhoseLengthCannotBeReadCountsAsMissing) {
    MessageTexts texts;
    for (const Bytes& broken : {Bytes{}, Bytes{0x1E, 0x00}}) {
        SplitArchive a(Pattern(100, 9), {60, 40});
        WriteBytes(a.Make(a.VolumePath(1)), broken);
        a.Open();
        EXPECT_EQ(ArchivePosition(60), 18);
        EXPECT_EQ(std::string(g_state.message_argument), a.VolumePath(1));

        // With disks: asked for like a missing disk, read once it is sound.
        a.Open(true);
        Script({IDOK}, [&](size_t) { a.WriteVolume(1); });
        Bytes got;
        EXPECT_EQ(ReadAt(60, 40, &got), 0);
        EXPECT_TRUE(got == a.Expected(60, 40));
        ASSERT_EQ(g_shown.size(), 1u);
        EXPECT_EQ(g_shown[0].text, "Please insert disk 2.");
    }
}

TEST(ArchiveVolumes, OpeningStartsAtVolumeZero) {
    SplitArchive a(Pattern(100, 10), {50, 30, 20});
    a.WriteAllVolumes();
    a.Open();
    ASSERT_EQ(ArchivePosition(90), 0);
    g_state.install_error = 7;
    ASSERT_TRUE(OpenArchive());
    EXPECT_EQ(g_state.install_error, 0);
    EXPECT_EQ(g_archive.volume_number, 0);
    EXPECT_EQ(g_archive.volume_base, 0u);
    EXPECT_EQ(g_archive.volume_length, 50u);
    Bytes got(10);
    DWORD n = 0;
    EXPECT_EQ(ArchiveRead(g_archive.handle, got.data(), 10, &n), 0);
    EXPECT_TRUE(got == a.Expected(0, 10)) << "the handle stands at offset 0";

    std::string missing = a.folder + "\\MISSING.EXE";
    lstrcpyA(g_state.source_path, missing.c_str());
    EXPECT_FALSE(OpenArchive());
    EXPECT_EQ(g_state.install_error, 16);
    EXPECT_EQ(std::string(g_state.message_argument), missing);
}

// A bounded decode whose packed bytes span volume ends: the decoder's
// source follows the archive into each new volume file.
TEST(ArchiveVolumes, BoundedDecodesFollowTheArchiveAcrossVolumes) {
    Bytes first_expected = Pattern(3 * kDecoderInputSize + 12000, 11), second_expected;
    Bytes first = StoredStreamOf(first_expected);
    Bytes second = FixedBlockStream(1000000, 12, &second_expected);
    Bytes lead = Text("LEADING"), tail = Text("END");
    uint32_t first_at = uint32_t(lead.size()), second_at = first_at + uint32_t(first.size());
    ASSERT_GT(first.size(), 3 * kDecoderInputSize);
    // Volume 0 ends exactly where the first refill does; volume 1 inside the
    // first stream; volume 2 inside the second.
    uint32_t l0 = first_at + kDecoderInputSize, l1 = uint32_t(first.size()) / 2;
    uint32_t l2 = second_at + uint32_t(second.size()) / 2 - l0 - l1;
    Bytes archive = Join({lead, first, second, tail});
    SplitArchive a(archive, {l0, l1, l2, uint32_t(archive.size()) - l0 - l1 - l2});
    a.WriteAllVolumes();
    a.Open();

    std::string target_path = a.Make(a.folder + "\\decoded.out");
    HANDLE target =
        CreateFileA(target_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_EQ(ArchivePosition(first_at), 0);
    EXPECT_EQ(DecodeToFile(target, g_archive.handle, DWORD(first.size())), 1);
    EXPECT_EQ(g_archive.volume_number, 2);
    Bytes written(GetFileSize(target, nullptr));
    DWORD n = 0;
    SetFilePointer(target, 0, nullptr, FILE_BEGIN);
    ReadFile(target, written.data(), DWORD(written.size()), &n, nullptr);
    CloseHandle(target);
    EXPECT_TRUE(written == first_expected);

    // No positioning: the archive stands just after the first stream.
    Bytes out(second_expected.size());
    EXPECT_EQ(DecodeToMemory(out.data(), DWORD(out.size()), g_archive.handle, DWORD(second.size())), 1);
    EXPECT_TRUE(out == second_expected);
    Bytes end(3);
    EXPECT_EQ(ArchiveRead(g_archive.handle, end.data(), 3, &n), 0);
    EXPECT_TRUE(end == tail);

    // A bounded decode of another file meanwhile reads that file alone.
    std::string other_path = a.Make(a.folder + "\\other.bin");
    WriteBytes(other_path, Join({Text("xy"), second}));
    HANDLE other = CreateFileA(other_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFilePointer(other, 2, nullptr, FILE_BEGIN);
    std::fill(out.begin(), out.end(), 0);
    EXPECT_EQ(DecodeToMemory(out.data(), DWORD(out.size()), other, DWORD(second.size())), 1);
    CloseHandle(other);
    EXPECT_TRUE(out == second_expected);
    EXPECT_EQ(g_archive.volume_number, 3);
    EXPECT_EQ(SetFilePointer(g_archive.handle, 0, nullptr, FILE_CURRENT), 4 + a.lengths[3]) << "the archive stays put";

    // The volume the second stream runs into is gone: the decode fails cleanly.
    ASSERT_EQ(ArchivePosition(second_at), 0);
    ASSERT_TRUE(DeleteFileA(a.VolumePath(3).c_str()));
    EXPECT_EQ(DecodeToMemory(out.data(), DWORD(out.size()), g_archive.handle, DWORD(second.size())), 0);
    EXPECT_EQ(g_archive.handle, INVALID_HANDLE_VALUE);
}

TEST(ArchiveDiskPrompt, ScriptedAnswers) {
    enum Box { kPrompt, kQuestion, kCancelled };
    struct Case {
        const char* name;
        std::vector<int> answers;
        int disk_in_at;  // the box during which the volume appears; -1: never
        int result;
        std::vector<Box> boxes;
    } cases[] = {
        {"OK once the disk is in", {IDOK}, 0, 0, {kPrompt}},
        {"OK without the disk asks again", {IDOK, IDOK}, 1, 0, {kPrompt, kPrompt}},
        {"Cancel, then No asks again", {IDCANCEL, IDNO, IDOK}, 2, 0, {kPrompt, kQuestion, kPrompt}},
        {"Cancel, then Yes ends the installation", {IDCANCEL, IDYES, IDOK}, -1, 15, {kPrompt, kQuestion, kCancelled}},
        {"boxes that cannot be shown end it too", {}, -1, 15, {kPrompt, kQuestion, kCancelled}},
    };
    const Shown expected_boxes[] = {
        {"Please insert disk 2.", "Kiln Setup", MB_OKCANCEL | MB_ICONINFORMATION},
        {"End the installation?", "Kiln Setup", MB_YESNO | MB_ICONQUESTION},
        {"The setup was cancelled.", "Kiln Setup", MB_ICONINFORMATION},
    };
    MessageTexts texts;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SplitArchive a(Pattern(100, 13), {60, 40});
        a.Open(true);
        lstrcpyA(g_state.document_to_open, "C:\\readme.txt");
        lstrcpyA(g_state.program_to_run, "C:\\program.exe");
        lstrcpyA(g_state.screen_saver_to_install, "C:\\saver.scr");
        g_state.page_result = 1;
        Script(c.answers, [&](size_t i) {
            if (int(i) == c.disk_in_at) a.WriteVolume(1);
        });
        EXPECT_EQ(ArchivePosition(70), c.result);
        ASSERT_EQ(g_shown.size(), c.boxes.size());
        for (size_t i = 0; i < c.boxes.size(); ++i) {
            const Shown& e = expected_boxes[c.boxes[i]];
            EXPECT_EQ(g_shown[i].text, e.text) << i;
            EXPECT_EQ(g_shown[i].caption, e.caption) << i;
            EXPECT_EQ(g_shown[i].style, e.style) << i;
        }
        bool cancelled = c.result == 15;
        EXPECT_EQ(g_state.page_result, cancelled ? 2 : 1);
        EXPECT_EQ(g_state.document_to_open[0] == 0, cancelled);
        EXPECT_EQ(g_state.program_to_run[0] == 0, cancelled);
        EXPECT_EQ(g_state.screen_saver_to_install[0] == 0, cancelled);
        if (!cancelled) {
            Bytes got(5);
            DWORD n = 0;
            EXPECT_EQ(ArchiveRead(g_archive.handle, got.data(), 5, &n), 0);
            EXPECT_TRUE(got == a.Expected(70, 5));
        }
    }
}

// The disk prompt while a read runs on, and for the third disk.
TEST(ArchiveDiskPrompt, WhileReading) {
    MessageTexts texts;
    SplitArchive a(Pattern(100, 14), {50, 30, 20});
    a.WriteVolume(1);
    a.Open(true);
    Script({IDOK}, [&](size_t) { a.WriteVolume(2); });
    Bytes got;
    EXPECT_EQ(ReadAt(40, 50, &got), 0);
    EXPECT_TRUE(got == a.Expected(40, 50));
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_EQ(g_shown[0].text, "Please insert disk 3.");

    DeleteFileA(a.VolumePath(1).c_str());
    a.Open(true);
    Script({IDCANCEL, IDYES, IDOK});
    EXPECT_EQ(ReadAt(0, 60, &got), 1);
    EXPECT_EQ(got.size(), 50u);
    EXPECT_EQ(g_shown.size(), 3u);
    EXPECT_EQ(g_state.page_result, 2);
}

// The package's prompt text is formatted safely into 200 bytes.
TEST(ArchiveDiskPrompt, PromptText) {
    std::string long_text = "Insert the disk " + std::string(300, 'x') + " %d";
    struct Case {
        std::string text, shown;
    } cases[] = {
        {"Please insert disk %d.", "Please insert disk 2."},
        {"Disk %d of %d: %s %n", "Disk 2 of %d: %s %n"},
        {"Insert the next disk.", "Insert the next disk."},
        {long_text, long_text.substr(0, 199)},
    };
    for (const Case& c : cases) {
        MessageTexts texts(c.text);
        SplitArchive a(Pattern(100, 15), {60, 40});
        a.Open(true);
        Script({IDCANCEL, IDYES, IDOK});
        EXPECT_EQ(ArchivePosition(60), 15);
        ASSERT_FALSE(g_shown.empty());
        EXPECT_EQ(g_shown[0].text, c.shown);
    }
}

// An archive item: flags, unpacked size, packed size when compressed, data.
Bytes Item(const Bytes& content, bool compressed, bool wide_size, bool wide_packed, const Bytes& stream = {}) {
    Bytes out{uint8_t((compressed ? 1 : 0) | (wide_size ? 2 : 0) | (wide_packed ? 4 : 0))};
    auto put = [&out](uint32_t v, bool wide) {
        uint8_t raw[4];
        WriteU32(raw, v);
        out.insert(out.end(), raw, raw + (wide ? 4 : 2));
    };
    put(uint32_t(content.size()), wide_size);
    if (content.empty()) return out;  // nothing follows a size of 0
    if (compressed) {
        put(uint32_t(stream.size()), wide_packed);
        out.insert(out.end(), stream.begin(), stream.end());
    } else {
        out.insert(out.end(), content.begin(), content.end());
    }
    return out;
}

TEST(ArchiveItems, ItemsAreReadInARowAcrossVolumes) {
    Bytes small_expected, big_expected, tiny_expected;
    Bytes small_stream = FixedBlockStream(2000, 16, &small_expected);
    Bytes big_stream = FixedBlockStream(150000, 17, &big_expected);
    Bytes tiny_stream = FixedBlockStream(40, 18, &tiny_expected);
    Bytes stored = Pattern(300, 19), wide_stored = Pattern(70000, 20);
    std::vector<Bytes> items = {
        Item(stored, false, false, false),
        Item({}, false, false, false),                    // size 0: flags and size only
        Item(small_expected, true, false, false, small_stream),
        Item(wide_stored, false, true, false),
        Item({}, true, true, true),                       // compressed, size 0: no packed size follows
        Item(big_expected, true, true, true, big_stream),
        Item(tiny_expected, true, true, false, tiny_stream),
    };
    std::vector<Bytes> contents = {stored, {}, small_expected, wide_stored, {}, big_expected, tiny_expected};
    Bytes archive;
    std::vector<uint32_t> at;
    for (const Bytes& i : items) {
        at.push_back(uint32_t(archive.size()));
        archive.insert(archive.end(), i.begin(), i.end());
    }
    Bytes tail = Text("END");
    archive.insert(archive.end(), tail.begin(), tail.end());
    // Cuts inside the first item's size field, inside the second size-0
    // item, and inside the big item's stream.
    uint32_t c1 = at[0] + 2, c2 = at[4] + 3, c3 = at[5] + 9 + uint32_t(big_stream.size()) / 2;
    SplitArchive a(archive, {c1, c2 - c1, c3 - c2, uint32_t(archive.size()) - c3});
    a.WriteAllVolumes();
    a.Open();
    ASSERT_EQ(ArchivePosition(0), 0);
    uint8_t sentinel = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        uint8_t* data = &sentinel;
        uint32_t size = 12345;
        ASSERT_EQ(ReadArchiveItem(&data, &size), 0) << i;
        EXPECT_EQ(size, contents[i].size()) << i;
        if (contents[i].empty()) {
            EXPECT_EQ(data, &sentinel) << i;
            continue;
        }
        EXPECT_TRUE(Bytes(data, data + size) == contents[i]) << i;
        FreeAndClear(reinterpret_cast<void**>(&data));
    }
    Bytes end(3);
    DWORD n = 0;
    EXPECT_EQ(ArchiveRead(g_archive.handle, end.data(), 3, &n), 0);
    EXPECT_TRUE(end == tail);
}

TEST(ArchiveItems, FailuresAreReported) {
    Bytes expected;
    Bytes stream = FixedBlockStream(5000, 21, &expected);
    Bytes stored = Pattern(500, 22);
    Bytes damaged_stream = {0x07, 0, 0, 0, 0, 0};  // block type 3 does not exist
    Bytes stored_item = Item(stored, false, false, false);
    struct Case {
        const char* name;
        Bytes archive;
        uint32_t volume0;  // the rest is volume 1, whose file is missing
        bool no_memory;
        int result;
    } cases[] = {
        {"no memory for the item", stored_item, 0, true, 12},
        {"stored data runs into a missing volume", stored_item, 200, false, 18},
        {"compressed data runs into a missing volume", Item(expected, true, false, false, stream), 100, false, 18},
        {"size field runs into a missing volume", Item(stored, false, true, false), 3, false, 18},
        {"a stream that does not decode", Item(expected, true, false, false, damaged_stream), 0, false, 18},
        {"a packed size of 0", Join({Item(expected, true, false, false, {}), stream}), 0, false, 18},
        {"stored data longer than the archive", Bytes(stored_item.begin(), stored_item.begin() + 100), 100, false, 18},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t l0 = c.volume0 ? c.volume0 : uint32_t(c.archive.size());
        SplitArchive a(c.archive, {l0, uint32_t(c.archive.size()) - l0});
        a.Open();
        ASSERT_EQ(ArchivePosition(0), 0);
        g_state.message_argument[0] = 0;
        if (c.no_memory) FailAllocationsAfter(0, 2);
        uint8_t* data = nullptr;
        uint32_t size = 0;
        EXPECT_EQ(ReadArchiveItem(&data, &size), c.result);
        FailAllocationsAfter(-1, 0);
        EXPECT_EQ(data, nullptr);
        if (c.result == 18)
            EXPECT_EQ(std::string(g_state.message_argument), c.volume0 ? a.VolumePath(1) : a.setup_path);
    }
}

}  // namespace
