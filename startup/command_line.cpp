#include "startup/command_line.h"

namespace {

bool IsSwitchStart(char c) { return c == '-' || c == '/'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// True when the switch name at p is `name` and ends there (a blank, the
// next switch or the end follows).
bool IsSwitch(const char* p, const char* name) {
    for (; *name; ++name, ++p)
        if (Lower(*p) != *name) return false;
    return *p == 0 || *p == ' ' || IsSwitchStart(*p);
}

}  // namespace

CommandLine ParseCommandLine(const char* text, char* source, size_t capacity) {
    CommandLine result = {false, false};
    const char* p = text ? text : "";
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!IsSwitchStart(*p)) break;
        ++p;
        if (IsSwitch(p, "del")) {
            result.delete_self = true;
            p += 3;
        } else if (Lower(*p) == 's') {  // the path may follow at once or after blanks
            ++p;
            while (*p == ' ' || *p == '\t') ++p;
            char end = ' ';
            if (*p == '"') {
                end = '"';
                ++p;
            }
            size_t n = 0;
            for (; *p && *p != end && !(end == ' ' && *p == '\t'); ++p)
                if (capacity && n + 1 < capacity) source[n++] = *p;
            if (capacity) source[n] = 0;
            if (*p == '"') ++p;
            result.has_source = true;
        } else {
            while (*p && *p != ' ' && !IsSwitchStart(*p)) ++p;  // an unknown switch
        }
    }
    return result;
}
