#include "startup/command_line.h"

namespace {

bool IsSwitchStart(char c) { return c == '-' || c == '/'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// True when the text at p begins with `name` in any case.
bool HasPrefix(const char* p, const char* name) {
    for (; *name; ++name, ++p)
        if (Lower(*p) != *name) return false;
    return true;
}

// True when the switch name at p is `name` and ends there (a blank, the
// next switch or the end follows).
bool IsSwitch(const char* p, const char* name) {
    if (!HasPrefix(p, name)) return false;
    p += __builtin_strlen(name);
    return *p == 0 || IsBlank(*p) || IsSwitchStart(*p);
}

// Reads a value in double quotes, or up to the next blank, into out (when
// given; cut to capacity, always terminated). Returns the text after it.
const char* ReadValue(const char* p, char* out, size_t capacity) {
    char end = ' ';
    if (*p == '"') {
        end = '"';
        ++p;
    }
    size_t n = 0;
    for (; *p && *p != end && !(end == ' ' && *p == '\t'); ++p)
        if (out && capacity && n + 1 < capacity) out[n++] = *p;
    if (out && capacity) out[n] = 0;
    if (*p == '"') ++p;
    return p;
}

// True when p starts a switch this parser knows, such as "/TYPE=2".
bool IsKnownSwitch(const char* p) {
    if (!IsSwitchStart(*p)) return false;
    ++p;
    return IsSwitch(p, "del") || IsSwitch(p, "quiet") || IsSwitch(p, "?") || HasPrefix(p, "dir=") ||
           HasPrefix(p, "log=") || HasPrefix(p, "lang=") || HasPrefix(p, "type=") || (Lower(*p) == 's' && (IsBlank(p[1]) || p[1] == '"'));
}

// A path value: in double quotes, or up to the blanks before the next
// switch this parser knows (or the end), so that blanks inside an
// unquoted path keep it whole. Into out as ReadValue does.
const char* ReadPathValue(const char* p, char* out, size_t capacity) {
    if (*p == '"') return ReadValue(p, out, capacity);
    const char* end = p;
    while (*end) {
        const char* next = end;
        while (IsBlank(*next)) ++next;
        if (next != end && (!*next || IsKnownSwitch(next))) break;
        end = next == end ? end + 1 : next;
    }
    size_t n = 0;
    for (const char* c = p; c < end; ++c)
        if (out && capacity && n + 1 < capacity) out[n++] = *c;
    if (out && capacity) out[n] = 0;
    return end;
}

}  // namespace

CommandLine ParseCommandLine(const char* text, char* source, size_t capacity, SwitchValues values) {
    CommandLine result = {false, false, false, false, 0, false, {}};
    const char* p = text ? text : "";
    for (;;) {
        while (IsBlank(*p)) ++p;
        if (!IsSwitchStart(*p)) {
            result.stray = *p != 0;
            break;
        }
        ++p;
        if (IsSwitch(p, "del")) {
            result.delete_self = true;
            p += 3;
        } else if (IsSwitch(p, "quiet")) {
            result.quiet = true;
            p += 5;
        } else if (IsSwitch(p, "?")) {
            result.help = true;
            ++p;
        } else if (HasPrefix(p, "dir=")) {
            p = ReadPathValue(p + 4, values.folder, values.capacity);
        } else if (HasPrefix(p, "log=")) {
            p = ReadPathValue(p + 4, values.log, values.capacity);
        } else if (HasPrefix(p, "lang=")) {
            p = ReadValue(p + 5, result.language, sizeof result.language);
        } else if (HasPrefix(p, "type=")) {
            char digits[4] = {};
            p = ReadValue(p + 5, digits, sizeof digits);
            int n = 0;
            for (const char* d = digits; *d; ++d) n = *d >= '0' && *d <= '9' && n >= 0 ? n * 10 + (*d - '0') : -1;
            // Three characters or more were cut: not a number from 1 to 99.
            result.type = n > 0 && digits[2] == 0 ? n : -1;
        } else if (Lower(*p) == 's') {  // the path may follow at once or after blanks
            ++p;
            while (IsBlank(*p)) ++p;
            p = ReadValue(p, source, capacity);
            result.has_source = true;
        } else {
            while (*p && *p != ' ' && !IsSwitchStart(*p)) ++p;  // an unknown switch
        }
    }
    return result;
}
