#include "engine/install_log_format.h"

namespace {

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }

// A bounded reader over one section body.
struct Cursor {
    const uint8_t* at;
    const uint8_t* end;
    bool Take(size_t n) {
        if (size_t(end - at) < n) return false;
        at += n;
        return true;
    }
    bool String() {
        if (size_t(end - at) < 2) return false;
        uint16_t n = U16(at);
        at += 2;
        return Take(n);
    }
};

// Walks `count` records of a section body; each is two strings and
// `flag_bytes` more. The records must fill the body exactly.
bool RecordsFill(const uint8_t* body, uint32_t size, uint32_t count, size_t flag_bytes) {
    Cursor c = {body, body + size};
    for (uint32_t i = 0; i < count; ++i)
        if (!c.String() || !c.String() || !c.Take(flag_bytes)) return false;
    return c.at == c.end;
}

LogText ReadText(const uint8_t** cursor) {
    LogText t = {reinterpret_cast<const char*>(*cursor + 2), U16(*cursor)};
    *cursor += 2 + t.size;
    return t;
}

}  // namespace

bool ReadInstallLog(const uint8_t* data, size_t size, InstallLog* log) {
    *log = InstallLog{};
    const uint8_t* at = data;
    const uint8_t* end = data + size;
    // Sections come in this order; each at most once.
    const uint16_t order[] = {kLogFilesTag, kLogShortcutsTag, kLogUninstallKeyTag, kLogEndTag};
    size_t next = 0;
    for (;;) {
        if (size_t(end - at) < kLogHeaderSize) return false;
        uint16_t tag = U16(at);
        uint32_t body_size = U32(at + 4);
        if (U16(at + 2) != 0) return false;
        at += kLogHeaderSize;
        if (body_size > size_t(end - at)) return false;
        while (next < 4 && order[next] != tag) {
            if (order[next] == kLogFilesTag) return false;  // the files section is never left out
            ++next;
        }
        if (next == 4) return false;  // unknown, repeated or out of order
        ++next;
        const uint8_t* body = at;
        at += body_size;
        switch (tag) {
        case kLogFilesTag:
        case kLogShortcutsTag: {
            if (body_size < 4) return false;
            uint32_t count = U32(body);
            size_t flag_bytes = tag == kLogFilesTag ? 1 : 0;
            if (!RecordsFill(body + 4, body_size - 4, count, flag_bytes)) return false;
            if (tag == kLogFilesTag) {
                log->files = body + 4;
                log->file_count = count;
            } else {
                log->shortcuts = body + 4;
                log->shortcut_count = count;
            }
            break;
        }
        case kLogUninstallKeyTag: {
            if (body_size < 6) return false;
            Cursor c = {body + 4, at};
            if (!c.String() || c.at != c.end) return false;
            const uint8_t* text = body + 4;
            log->has_uninstall_key = true;
            log->uninstall_root = U32(body);
            log->uninstall_key = ReadText(&text);
            break;
        }
        case kLogEndTag:
            return body_size == 0 && at == end;
        }
    }
}

LogFileRecord NextLogFileRecord(const uint8_t** cursor) {
    LogFileRecord r;
    r.folder = ReadText(cursor);
    r.name = ReadText(cursor);
    r.flags = **cursor;
    *cursor += 1;
    return r;
}

LogShortcutRecord NextLogShortcutRecord(const uint8_t** cursor) {
    LogShortcutRecord r;
    r.folder = ReadText(cursor);
    r.name = ReadText(cursor);
    return r;
}
