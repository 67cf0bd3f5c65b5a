#include "engine/install_log_format.h"

#include <cstring>
#include <initializer_list>

#include "engine/path_text.h"

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

// The shapes of a section's records: fixed bytes before their strings
// (kind and root of a remembered record) and after (a file's flags).
struct RecordShape {
    size_t leading, strings, trailing;
};
constexpr RecordShape kFileRecord = {0, 2, 1}, kShortcutRecord = {0, 2, 0}, kRememberedRecord = {5, 4, 0};

// Walks `count` records of a section body, which must fill it exactly; a
// remembered record's kind must be one of the two there are.
bool RecordsFill(const uint8_t* body, uint32_t size, uint32_t count, RecordShape shape) {
    Cursor c = {body, body + size};
    for (uint32_t i = 0; i < count; ++i) {
        if (shape.leading && c.at < c.end && *c.at != kLogRememberedInRegistry && *c.at != kLogRememberedInIni)
            return false;
        if (!c.Take(shape.leading)) return false;
        for (size_t s = 0; s < shape.strings; ++s)
            if (!c.String()) return false;
        if (!c.Take(shape.trailing)) return false;
    }
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
    const uint16_t order[] = {kLogFilesTag, kLogShortcutsTag, kLogUninstallKeyTag, kLogRememberedTag, kLogEndTag};
    constexpr size_t kSections = sizeof order / sizeof order[0];
    size_t next = 0;
    for (;;) {
        if (size_t(end - at) < kLogHeaderSize) return false;
        uint16_t tag = U16(at);
        uint32_t body_size = U32(at + 4);
        if (U16(at + 2) != 0) return false;
        at += kLogHeaderSize;
        if (body_size > size_t(end - at)) return false;
        while (next < kSections && order[next] != tag) {
            if (order[next] == kLogFilesTag) return false;  // the files section is never left out
            ++next;
        }
        if (next == kSections) return false;  // unknown, repeated or out of order
        ++next;
        const uint8_t* body = at;
        at += body_size;
        switch (tag) {
        case kLogFilesTag:
        case kLogShortcutsTag:
        case kLogRememberedTag: {
            if (body_size < 4) return false;
            uint32_t count = U32(body);
            RecordShape shape = tag == kLogFilesTag ? kFileRecord : tag == kLogShortcutsTag ? kShortcutRecord
                                                                                            : kRememberedRecord;
            if (!RecordsFill(body + 4, body_size - 4, count, shape)) return false;
            if (tag == kLogFilesTag) {
                log->files = body + 4;
                log->file_count = count;
            } else if (tag == kLogShortcutsTag) {
                log->shortcuts = body + 4;
                log->shortcut_count = count;
            } else {
                log->remembered = body + 4;
                log->remembered_count = count;
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

LogRememberedRecord NextLogRememberedRecord(const uint8_t** cursor) {
    LogRememberedRecord r;
    r.kind = **cursor;
    r.root = U32(*cursor + 1);
    *cursor += 5;
    r.place = ReadText(cursor);
    r.name = ReadText(cursor);
    r.key = ReadText(cursor);
    r.folder = ReadText(cursor);
    return r;
}

void PutLogHeader(uint8_t* out, uint16_t tag, uint32_t body_size) {
    const uint8_t header[kLogHeaderSize] = {uint8_t(tag), uint8_t(tag >> 8), 0, 0, uint8_t(body_size),
                                            uint8_t(body_size >> 8), uint8_t(body_size >> 16), uint8_t(body_size >> 24)};
    std::memcpy(out, header, kLogHeaderSize);
}

namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool StartsWithIgnoringCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix)
        if (AsciiUpper(*text) != AsciiUpper(*prefix)) return false;  // also stops at the text's end
    return true;
}

// Encodes into a bounded buffer; a string (u16 length, bytes) may be given
// in two pieces.
struct RecordOut {
    uint8_t* out;
    size_t capacity, size;
    bool Put(const void* bytes, size_t n) {
        if (capacity - size < n) return false;
        if (n) std::memcpy(out + size, bytes, n);
        size += n;
        return true;
    }
    bool String(const char* head, size_t head_size, const char* tail, size_t tail_size) {
        size_t n = (head_size + tail_size) & 0xFFFF;  // what the length field can say
        if (head_size > n) head_size = n;
        tail_size = n - head_size;
        const uint8_t length[2] = {uint8_t(n), uint8_t(n >> 8)};
        return Put(length, 2) && Put(head, head_size) && Put(tail, tail_size);
    }
};

}  // namespace

LogPathParts SplitLogPath(const char* destination, const char* path) {
    const char* last = FindLastBackslash(path);
    LogPathParts parts = {false, path, 0, last ? last + 1 : path};
    size_t prefix = std::strlen(destination);
    if (prefix && EndsInBackslash(destination) && StartsWithIgnoringCase(path, destination)) {
        // The destination's own trailing backslash starts the ".\sub" part.
        parts.relative = true;
        parts.folder = path + prefix - 1;
        parts.folder_size = size_t(last - parts.folder);
    } else if (last) {
        parts.folder_size = size_t(last - path);
    }
    return parts;
}

size_t PutLogFileRecord(uint8_t* out, size_t capacity, const char* destination, const char* path, uint8_t flags) {
    LogPathParts p = SplitLogPath(destination, path);
    RecordOut r = {out, capacity, 0};
    bool ok = r.String(p.relative ? "." : "", p.relative ? 1 : 0, p.folder, p.folder_size) &&
              r.String(p.name, std::strlen(p.name), "", 0) && r.Put(&flags, 1);
    return ok ? r.size : 0;
}

size_t PutLogShortcutRecord(uint8_t* out, size_t capacity, const char* folder, size_t folder_size, const char* name) {
    RecordOut r = {out, capacity, 0};
    return r.String(folder, folder_size, "", 0) && r.String(name, std::strlen(name), "", 0) ? r.size : 0;
}

size_t PutLogUninstallKey(uint8_t* out, size_t capacity, const char* key_path) {
    const uint8_t root[4] = {uint8_t(kLogUninstallRoot), uint8_t(kLogUninstallRoot >> 8),
                             uint8_t(kLogUninstallRoot >> 16), uint8_t(kLogUninstallRoot >> 24)};
    RecordOut r = {out, capacity, 0};
    return r.Put(root, 4) && r.String(key_path, std::strlen(key_path), "", 0) ? r.size : 0;
}

size_t PutLogRememberedRecord(uint8_t* out, size_t capacity, uint8_t kind, uint32_t root, const char* place,
                              const char* name, const char* key, const char* folder) {
    const uint8_t head[5] = {kind, uint8_t(root), uint8_t(root >> 8), uint8_t(root >> 16), uint8_t(root >> 24)};
    RecordOut r = {out, capacity, 0};
    bool ok = r.Put(head, 5);
    for (const char* text : {place, name, key, folder}) ok = ok && r.String(text, std::strlen(text), "", 0);
    return ok ? r.size : 0;
}
