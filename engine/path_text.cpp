#include "engine/path_text.h"

#include <cstring>

namespace {

// The system's lead byte ranges, as CPINFO gives them, and a pair of zeros
// that ends them even when all six are used.
unsigned char g_lead_ranges[14];

}  // namespace

void SetLeadBytes(const unsigned char* ranges) { std::memcpy(g_lead_ranges, ranges, 12); }

bool IsLeadByte(char byte) {
    unsigned char b = static_cast<unsigned char>(byte);
    for (const unsigned char* r = g_lead_ranges; r[0]; r += 2)
        if (b >= r[0] && b <= r[1]) return true;
    return false;
}

// Backslashes from the text's start on, a two-byte character stepped over whole.
char* FindBackslash(const char* text) {
    for (; *text; ++text) {
        if (*text == '\\') return const_cast<char*>(text);
        if (IsLeadByte(*text) && text[1]) ++text;
    }
    return nullptr;
}

char* FindLastBackslash(const char* text) {
    char* last = nullptr;
    for (char* found = FindBackslash(text); found; found = FindBackslash(found + 1)) last = found;
    return last;
}

bool EndsInBackslash(const char* text) {
    const char* last = FindLastBackslash(text);
    return last && last[1] == 0;
}

bool CopyText(char* target, const char* text, size_t capacity) {
    if (capacity == 0) return false;
    size_t length = std::strlen(text);
    bool whole = length < capacity;
    if (!whole) length = capacity - 1;
    std::memmove(target, text, length);
    target[length] = 0;
    return whole;
}

bool AppendToPath(char* path, const char* text, size_t capacity) {
    size_t length = std::strlen(path), more = std::strlen(text);
    if (length + more >= capacity) {
        if (capacity) path[0] = 0;
        return false;
    }
    std::memcpy(path + length, text, more + 1);
    return true;
}

bool AddBackslash(char* path, size_t capacity) {
    if (path[0] == 0 || EndsInBackslash(path)) return true;
    return AppendToPath(path, "\\", capacity);
}

void StripBackslash(char* path) {
    size_t length = std::strlen(path);
    if (length > 3 && EndsInBackslash(path)) path[length - 1] = 0;
}

bool ReplaceExtension(char* path, const char* extension, size_t capacity) {
    char* dot = std::strrchr(path, '.');
    // A dot followed by a backslash belongs to a folder name.
    size_t keep = (dot && !FindBackslash(dot)) ? size_t(dot - path) : std::strlen(path);
    size_t more = std::strlen(extension);
    if (keep + more >= capacity) {
        if (capacity) path[0] = 0;
        return false;
    }
    std::memcpy(path + keep, extension, more + 1);
    return true;
}

void ShortenPathForDisplay(char* path, size_t limit) {
    size_t length = std::strlen(path);
    if (length <= limit) return;
    const char* first = FindBackslash(path);
    const char* last = FindLastBackslash(path);
    if (!first || last - first < 4) return;
    size_t last_at = size_t(last - path);
    size_t tail = length - last_at;  // the last backslash and the file name
    // Keep as many leading folders as leave room for the tail; at least
    // the text up to the first backslash.
    size_t head_end = size_t(first - path);
    for (const char* c = first; c; c = FindBackslash(c + 1)) {
        size_t at = size_t(c - path);
        if (last_at - at < 4 || tail + at >= limit) break;
        head_end = at;
    }
    // head_end + 4 <= last_at, so the tail only moves towards the start.
    std::memcpy(path + head_end + 1, "...", 3);
    std::memmove(path + head_end + 4, path + last_at, tail + 1);
}
