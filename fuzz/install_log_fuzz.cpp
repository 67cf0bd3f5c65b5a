// The uninstaller reads the install log from the tail of its own file, which
// anything may have changed. Any bytes: the reader refuses them or every
// record it promises lies inside them (an exact-size heap copy, watched by
// AddressSanitizer). The same bytes, cut into texts: a log written by the
// encoders reads back record for record.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/install_log_format.h"

namespace {

void CheckAnyBytes(const uint8_t* data, size_t size) {
    std::vector<uint8_t> copy(data, data + size);
    InstallLog log;
    if (!ReadInstallLog(copy.data(), copy.size(), &log)) return;
    const uint8_t* end = copy.data() + copy.size();
    auto inside = [&](LogText t) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(t.data);
        if (p < copy.data() || p + t.size > end) abort();
    };
    const uint8_t* at = log.files;
    for (uint32_t i = 0; i < log.file_count; ++i) {
        LogFileRecord r = NextLogFileRecord(&at);
        inside(r.folder), inside(r.name);
    }
    at = log.shortcuts;
    for (uint32_t i = 0; i < log.shortcut_count; ++i) {
        LogShortcutRecord r = NextLogShortcutRecord(&at);
        inside(r.folder), inside(r.name);
    }
    if (log.has_uninstall_key) inside(log.uninstall_key);
    at = log.remembered;
    for (uint32_t i = 0; i < log.remembered_count; ++i) {
        LogRememberedRecord r = NextLogRememberedRecord(&at);
        inside(r.place), inside(r.name), inside(r.key), inside(r.folder);
    }
}

bool Same(LogText t, const char* text, size_t size) { return t.size == size && std::memcmp(t.data, text, size) == 0; }

void Put(std::vector<uint8_t>& log, uint16_t tag, const std::vector<uint8_t>& body) {
    uint8_t header[kLogHeaderSize];
    PutLogHeader(header, tag, uint32_t(body.size()));
    log.insert(log.end(), header, header + kLogHeaderSize);
    log.insert(log.end(), body.begin(), body.end());
}

void CheckRoundTrip(const uint8_t* data, size_t size) {
    std::vector<std::string> texts(1);
    for (size_t i = 0; i < size && texts.size() < 64; ++i) {
        if (data[i] == '\n') texts.emplace_back();
        else texts.back() += char(data[i] ? data[i] : '\\');  // texts are terminated: no NUL inside
    }
    const char destination[] = "C:\\Dest\\";
    std::vector<uint8_t> files(4), shortcuts(4), key(kMaxLogRecordSize);
    uint32_t file_count = 0, shortcut_count = 0;
    uint8_t record[kMaxLogRecordSize];
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string& t = texts[i].substr(0, 519);
        if (i % 2 == 0) {
            size_t n = PutLogFileRecord(record, sizeof record, destination, t.c_str(), uint8_t(i));
            if (!n) abort();
            files.insert(files.end(), record, record + n);
            ++file_count;
        } else {
            size_t n = PutLogShortcutRecord(record, sizeof record, t.data(), t.size(), "x.lnk");
            if (!n) abort();
            shortcuts.insert(shortcuts.end(), record, record + n);
            ++shortcut_count;
        }
    }
    files[0] = uint8_t(file_count), shortcuts[0] = uint8_t(shortcut_count);
    key.resize(PutLogUninstallKey(key.data(), key.size(), texts[0].substr(0, 519).c_str()));
    std::vector<uint8_t> log;
    Put(log, kLogFilesTag, files);
    if (shortcut_count) Put(log, kLogShortcutsTag, shortcuts);
    Put(log, kLogUninstallKeyTag, key);
    Put(log, kLogEndTag, {});

    InstallLog read;
    if (!ReadInstallLog(log.data(), log.size(), &read) || read.file_count != file_count ||
        read.shortcut_count != shortcut_count || !read.has_uninstall_key)
        abort();
    const uint8_t* files_at = read.files;
    const uint8_t* shortcuts_at = read.shortcuts;
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string t = texts[i].substr(0, 519);
        if (i % 2 == 0) {
            LogFileRecord r = NextLogFileRecord(&files_at);
            LogPathParts p = SplitLogPath(destination, t.c_str());
            std::string folder = (p.relative ? "." : "") + std::string(p.folder, p.folder_size);
            if (!Same(r.folder, folder.data(), folder.size()) || !Same(r.name, p.name, std::strlen(p.name)) ||
                r.flags != uint8_t(i))
                abort();
        } else {
            LogShortcutRecord r = NextLogShortcutRecord(&shortcuts_at);
            if (!Same(r.folder, t.data(), t.size()) || !Same(r.name, "x.lnk", 5)) abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckAnyBytes(data, size);
    CheckRoundTrip(data, size);
    return 0;
}
