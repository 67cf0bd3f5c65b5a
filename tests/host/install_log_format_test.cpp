// The install log as the setup program writes it and the uninstaller reads
// it: the folder rule, records written by the encoders and read back by the
// checked reader, and logs that are cut, reordered or padded refused.
#include "engine/install_log_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string Text(LogText t) { return std::string(t.data, t.size); }

struct SplitCase {
    const char* destination;
    const char* path;
    const char* folder;  // as the record holds it
    const char* name;
};

TEST(InstallLogFormat, FolderRule) {
    const SplitCase cases[] = {
        {"C:\\App\\", "C:\\App\\a.exe", ".", "a.exe"},
        {"C:\\App\\", "C:\\App\\sub\\x.dll", ".\\sub", "x.dll"},
        {"C:\\App\\", "C:\\App\\sub\\deeper\\x.dll", ".\\sub\\deeper", "x.dll"},
        {"C:\\App\\", "C:\\WINDOWS\\SYSTEM\\y.dll", "C:\\WINDOWS\\SYSTEM", "y.dll"},
        {"C:\\App\\", "c:\\aPP\\Sub\\x.dll", ".\\Sub", "x.dll"},          // case does not matter
        {"C:\\App\\", "C:\\Apple\\x.dll", "C:\\Apple", "x.dll"},          // a longer folder name is not inside
        {"C:\\App\\", "C:\\App\\made\\by\\", ".\\made\\by", ""},          // a folder entry's path
        {"C:\\App\\", "C:\\App\\", ".", ""},                               // the install folder itself
        {"C:\\App\\", "C:\\App", "C:", "App"},                            // without its backslash: outside
        {"C:\\", "C:\\x.txt", ".", "x.txt"},                              // a drive root
        {"C:\\App", "C:\\App\\a.exe", "C:\\App", "a.exe"},                // no trailing backslash: never relative
        {"", "C:\\App\\a.exe", "C:\\App", "a.exe"},
        {"C:\\App\\", "plain.txt", "", "plain.txt"},
    };
    for (const SplitCase& c : cases) {
        uint8_t record[kMaxLogRecordSize];
        size_t size = PutLogFileRecord(record, sizeof record, c.destination, c.path, 5);
        ASSERT_GT(size, 0u) << c.path;
        const uint8_t* at = record;
        LogFileRecord r = NextLogFileRecord(&at);
        EXPECT_EQ(size_t(at - record), size) << c.path;
        EXPECT_EQ(Text(r.folder), c.folder) << c.destination << " + " << c.path;
        EXPECT_EQ(Text(r.name), c.name) << c.destination << " + " << c.path;
        EXPECT_EQ(r.flags, 5);
    }
}

// A log built from pieces: the encoders' records framed as the setup
// program frames them.
struct LogBuilder {
    Bytes bytes;
    void Header(uint16_t tag, uint32_t size) {
        uint8_t h[kLogHeaderSize];
        PutLogHeader(h, tag, size);
        bytes.insert(bytes.end(), h, h + kLogHeaderSize);
    }
    void Section(uint16_t tag, const std::vector<Bytes>& records) {
        Bytes body(4);
        body[0] = uint8_t(records.size());
        for (const Bytes& r : records) body.insert(body.end(), r.begin(), r.end());
        Header(tag, uint32_t(body.size()));
        bytes.insert(bytes.end(), body.begin(), body.end());
    }
    void UninstallKey(const char* key) {
        uint8_t body[kMaxLogRecordSize];
        size_t size = PutLogUninstallKey(body, sizeof body, key);
        Header(kLogUninstallKeyTag, uint32_t(size));
        bytes.insert(bytes.end(), body, body + size);
    }
    void End() { Header(kLogEndTag, 0); }
};

Bytes FileRecord(const char* path, uint8_t flags) {
    uint8_t r[kMaxLogRecordSize];
    return Bytes(r, r + PutLogFileRecord(r, sizeof r, "C:\\App\\", path, flags));
}

Bytes ShortcutRecord(const char* folder, const char* name) {
    uint8_t r[kMaxLogRecordSize];
    return Bytes(r, r + PutLogShortcutRecord(r, sizeof r, folder, std::strlen(folder), name));
}

Bytes RememberedRecord(uint8_t kind, const char* place, const char* name, const char* key) {
    uint8_t r[kMaxLogRecordSize];
    return Bytes(r, r + PutLogRememberedRecord(r, sizeof r, kind, 2, place, name, key, "C:\\App"));
}

const char kKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kiln";

Bytes FullLog() {
    LogBuilder b;
    b.Section(kLogFilesTag, {FileRecord("C:\\App\\a.exe", 0), FileRecord("C:\\WINDOWS\\SYSTEM\\y.dll", kLogSharedFile),
                             FileRecord("C:\\App\\sub\\", 0)});
    b.Section(kLogShortcutsTag, {ShortcutRecord("C:\\Start Menu\\Programs\\Kiln", "Kiln.lnk")});
    b.UninstallKey(kKey);
    b.Section(kLogRememberedTag, {RememberedRecord(kLogRememberedInRegistry, "Software\\Kiln", "Dir", ""),
                                  RememberedRecord(kLogRememberedInIni, "kiln.ini", "Paths", "Home")});
    b.End();
    return b.bytes;
}

// Reads an exact-size heap copy of the first n bytes, so that a sanitizer
// build sees any read past the end.
bool ReadPrefix(const Bytes& log, size_t n, InstallLog* out, std::unique_ptr<uint8_t[]>* keep) {
    keep->reset(new uint8_t[n ? n : 1]);
    if (n) std::memcpy(keep->get(), log.data(), n);
    return ReadInstallLog(keep->get(), n, out);
}

TEST(InstallLogFormat, WrittenLogReadsBack) {
    Bytes bytes = FullLog();
    InstallLog log;
    ASSERT_TRUE(ReadInstallLog(bytes.data(), bytes.size(), &log));
    ASSERT_EQ(log.file_count, 3u);
    const uint8_t* at = log.files;
    const char* expected[][2] = {{".", "a.exe"}, {"C:\\WINDOWS\\SYSTEM", "y.dll"}, {".\\sub", ""}};
    const uint8_t flags[] = {0, kLogSharedFile, 0};
    for (int i = 0; i < 3; ++i) {
        LogFileRecord r = NextLogFileRecord(&at);
        EXPECT_EQ(Text(r.folder), expected[i][0]);
        EXPECT_EQ(Text(r.name), expected[i][1]);
        EXPECT_EQ(r.flags, flags[i]);
    }
    ASSERT_EQ(log.shortcut_count, 1u);
    at = log.shortcuts;
    LogShortcutRecord s = NextLogShortcutRecord(&at);
    EXPECT_EQ(Text(s.folder), "C:\\Start Menu\\Programs\\Kiln");
    EXPECT_EQ(Text(s.name), "Kiln.lnk");
    EXPECT_TRUE(log.has_uninstall_key);
    EXPECT_EQ(log.uninstall_root, kLogUninstallRoot);
    EXPECT_EQ(Text(log.uninstall_key), kKey);
    ASSERT_EQ(log.remembered_count, 2u);
    at = log.remembered;
    const char* places[][4] = {{"Software\\Kiln", "Dir", "", "C:\\App"}, {"kiln.ini", "Paths", "Home", "C:\\App"}};
    for (int i = 0; i < 2; ++i) {
        LogRememberedRecord r = NextLogRememberedRecord(&at);
        EXPECT_EQ(r.kind, i ? kLogRememberedInIni : kLogRememberedInRegistry);
        EXPECT_EQ(r.root, 2u);
        EXPECT_EQ(Text(r.place), places[i][0]);
        EXPECT_EQ(Text(r.name), places[i][1]);
        EXPECT_EQ(Text(r.key), places[i][2]);
        EXPECT_EQ(Text(r.folder), places[i][3]);
    }
    EXPECT_EQ(at, bytes.data() + bytes.size() - kLogHeaderSize);  // the end header follows
}

TEST(InstallLogFormat, SmallestLogIsFilesAndEnd) {
    LogBuilder b;
    b.Section(kLogFilesTag, {});
    b.End();
    InstallLog log;
    ASSERT_TRUE(ReadInstallLog(b.bytes.data(), b.bytes.size(), &log));
    EXPECT_EQ(log.file_count, 0u);
    EXPECT_EQ(log.shortcuts, nullptr);
    EXPECT_FALSE(log.has_uninstall_key);
    EXPECT_EQ(b.bytes, (Bytes{0x35, 0x12, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0x7F, 0, 0, 0, 0, 0, 0}));
}

TEST(InstallLogFormat, EveryCutLogIsRefused) {
    Bytes bytes = FullLog();
    std::unique_ptr<uint8_t[]> keep;
    InstallLog log;
    for (size_t n = 0; n < bytes.size(); ++n) ASSERT_FALSE(ReadPrefix(bytes, n, &log, &keep)) << "cut to " << n;
    ASSERT_TRUE(ReadPrefix(bytes, bytes.size(), &log, &keep));
}

TEST(InstallLogFormat, MalformedLogsAreRefused) {
    Bytes files = FileRecord("C:\\App\\a.exe", 0);
    struct Case {
        const char* name;
        Bytes log;
    };
    auto build = [](auto&& fill) {
        LogBuilder b;
        fill(b);
        return b.bytes;
    };
    const Case cases[] = {
        {"no files section", build([](LogBuilder& b) { b.End(); })},
        {"no end header", build([&](LogBuilder& b) { b.Section(kLogFilesTag, {files}); })},
        {"bytes after the end", build([&](LogBuilder& b) {
             b.Section(kLogFilesTag, {files});
             b.End();
             b.bytes.push_back(0);
         })},
        {"sections out of order", build([&](LogBuilder& b) {
             b.Section(kLogFilesTag, {files});
             b.UninstallKey(kKey);
             b.Section(kLogShortcutsTag, {ShortcutRecord("C:\\S", "a.lnk")});
             b.End();
         })},
        {"files twice", build([&](LogBuilder& b) {
             b.Section(kLogFilesTag, {files});
             b.Section(kLogFilesTag, {files});
             b.End();
         })},
        {"unknown section", build([&](LogBuilder& b) {
             b.Section(kLogFilesTag, {files});
             b.Section(0x1237, {});
             b.End();
         })},
        {"count above the records", build([&](LogBuilder& b) {
             b.Section(kLogFilesTag, {files});
             b.bytes[kLogHeaderSize] = 2;
             b.End();
         })},
        {"count below the records", build([&](LogBuilder& b) {
             b.Section(kLogFilesTag, {files, files});
             b.bytes[kLogHeaderSize] = 1;
             b.End();
         })},
        {"compressed flag", build([&](LogBuilder& b) {
             b.Section(kLogFilesTag, {files});
             b.bytes[2] = 1;
             b.End();
         })},
        {"end with a body", build([&](LogBuilder& b) {
             b.Section(kLogFilesTag, {});
             b.Header(kLogEndTag, 1);
             b.bytes.push_back(0);
         })},
        {"uninstall key with bytes after its text", build([&](LogBuilder& b) {
             b.Section(kLogFilesTag, {});
             uint8_t body[64];
             size_t size = PutLogUninstallKey(body, sizeof body, "Key");
             b.Header(kLogUninstallKeyTag, uint32_t(size + 1));
             b.bytes.insert(b.bytes.end(), body, body + size);
             b.bytes.push_back('!');
             b.End();
         })},
        {"remembered record of an unknown kind", build([&](LogBuilder& b) {
             b.Section(kLogFilesTag, {files});
             b.Section(kLogRememberedTag, {RememberedRecord(3, "Software\\Kiln", "Dir", "")});
             b.End();
         })},
        {"remembered before the uninstall key", build([&](LogBuilder& b) {
             b.Section(kLogFilesTag, {files});
             b.Section(kLogRememberedTag, {RememberedRecord(kLogRememberedInRegistry, "Software\\Kiln", "Dir", "")});
             b.UninstallKey(kKey);
             b.End();
         })},
        {"section size past the end", build([&](LogBuilder& b) {
             b.Section(kLogFilesTag, {files});
             b.bytes[4] = 0xFF;
             b.End();
         })},
    };
    for (const Case& c : cases) {
        InstallLog log;
        std::unique_ptr<uint8_t[]> keep;
        EXPECT_FALSE(ReadPrefix(c.log, c.log.size(), &log, &keep)) << c.name;
    }
}

TEST(InstallLogFormat, EncodersRefuseWhatDoesNotFit) {
    uint8_t record[kMaxLogRecordSize];
    size_t whole = PutLogFileRecord(record, sizeof record, "C:\\App\\", "C:\\App\\sub\\x.dll", 0);
    ASSERT_EQ(whole, 2 + 5 + 2 + 5 + 1u);
    for (size_t capacity = 0; capacity < whole; ++capacity)
        EXPECT_EQ(PutLogFileRecord(record, capacity, "C:\\App\\", "C:\\App\\sub\\x.dll", 0), 0u) << capacity;
    EXPECT_EQ(PutLogShortcutRecord(record, 4, "C:\\S", 4, "a.lnk"), 0u);
    EXPECT_EQ(PutLogUninstallKey(record, 5, "K"), 0u);
    EXPECT_EQ(PutLogUninstallKey(record, 7, "K"), 7u);

    // A text longer than a length field can say is cut to the low 16 bits of
    // its length, and the record still reads back whole.
    std::string huge(65536 + 3, 'x');
    std::vector<uint8_t> big(70000);
    size_t size = PutLogShortcutRecord(big.data(), big.size(), huge.data(), huge.size(), "n");
    ASSERT_EQ(size, 2 + 3 + 2 + 1u);
    const uint8_t* at = big.data();
    LogShortcutRecord r = NextLogShortcutRecord(&at);
    EXPECT_EQ(Text(r.folder), "xxx");
    EXPECT_EQ(Text(r.name), "n");
}

}  // namespace
