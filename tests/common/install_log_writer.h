// Install logs for tests, laid out as the setup program appends them to the
// uninstaller file: files section, optional shortcuts section, optional
// uninstall key section, end header. Portable: for native and Windows-side
// tests alike.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/install_log_format.h"

struct TestLogFile {
    std::string folder, name;
    uint8_t flags = 0;
};

struct TestLogShortcut {
    std::string folder, name;
};

struct TestLog {
    std::vector<TestLogFile> files;
    std::optional<std::vector<TestLogShortcut>> shortcuts;  // no section when absent
    std::optional<std::string> uninstall_key;               // the name below the Uninstall key
    uint32_t uninstall_root = kLogUninstallRoot;
};

constexpr char kTestUninstallPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

inline void PutLogU16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void PutLogU32(std::vector<uint8_t>& b, uint32_t v) {
    PutLogU16(b, v);
    PutLogU16(b, v >> 16);
}
inline void PutLogString(std::vector<uint8_t>& b, const std::string& s) {
    PutLogU16(b, uint32_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
}
inline void PutLogSection(std::vector<uint8_t>& b, uint16_t tag, const std::vector<uint8_t>& body) {
    PutLogU16(b, tag);
    PutLogU16(b, 0);
    PutLogU32(b, uint32_t(body.size()));
    b.insert(b.end(), body.begin(), body.end());
}

inline std::vector<uint8_t> InstallLogBytes(const TestLog& log) {
    std::vector<uint8_t> out, body;
    PutLogU32(body, uint32_t(log.files.size()));
    for (const TestLogFile& f : log.files) {
        PutLogString(body, f.folder);
        PutLogString(body, f.name);
        body.push_back(f.flags);
    }
    PutLogSection(out, kLogFilesTag, body);
    if (log.shortcuts) {
        body.clear();
        PutLogU32(body, uint32_t(log.shortcuts->size()));
        for (const TestLogShortcut& s : *log.shortcuts) {
            PutLogString(body, s.folder);
            PutLogString(body, s.name);
        }
        PutLogSection(out, kLogShortcutsTag, body);
    }
    if (log.uninstall_key) {
        body.clear();
        PutLogU32(body, log.uninstall_root);
        PutLogString(body, kTestUninstallPrefix + *log.uninstall_key);
        PutLogSection(out, kLogUninstallKeyTag, body);
    }
    PutLogSection(out, kLogEndTag, {});
    return out;
}

// The installed uninstaller: its file as the package carries it (ending in
// the closing header) with the log's first header written over that header.
inline std::vector<uint8_t> WithInstallLog(std::vector<uint8_t> uninstaller, const std::vector<uint8_t>& log) {
    uninstaller.resize(uninstaller.size() >= kLogHeaderSize ? uninstaller.size() - kLogHeaderSize : 0);
    uninstaller.insert(uninstaller.end(), log.begin(), log.end());
    return uninstaller;
}
