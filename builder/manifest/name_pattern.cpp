#include "builder/manifest/name_pattern.h"

namespace {

// Whether c is in the set that starts after '[' at pattern[i]; i moves past
// the closing ']'. A set without its ']' is no set: '[' then stands for itself.
bool InSet(const std::string& pattern, size_t& i, char c, bool& is_set) {
    size_t at = i;
    bool negated = at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^');
    if (negated) ++at;
    bool found = false;
    // A ']' first in the set is a member, not its end.
    for (bool first = true; at < pattern.size() && (first || pattern[at] != ']'); first = false) {
        char low = pattern[at++];
        if (low == '\\' && at < pattern.size()) low = pattern[at++];
        char high = low;
        if (at + 1 < pattern.size() && pattern[at] == '-' && pattern[at + 1] != ']') {
            high = pattern[at + 1], at += 2;
            if (high == '\\' && at < pattern.size()) high = pattern[at++];
        }
        found |= (unsigned char)low <= (unsigned char)c && (unsigned char)c <= (unsigned char)high;
    }
    is_set = at < pattern.size();
    if (!is_set) return c == '[';
    i = at + 1;
    return found != negated;
}

}  // namespace

bool NameMatchesPattern(const std::string& pattern, const std::string& name) {
    if (!name.empty() && name[0] == '.' && (pattern.empty() || pattern[0] != '.')) return false;
    // The classic two-pointer walk: on a mismatch, the last '*' takes one
    // more character and the rest is tried again.
    size_t p = 0, n = 0, star_p = std::string::npos, star_n = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star_p = ++p, star_n = n;
            continue;
        }
        if (p < pattern.size()) {
            size_t next = p + 1;
            bool matched;
            if (pattern[p] == '?') {
                matched = true;
            } else if (pattern[p] == '[') {
                bool is_set;
                matched = InSet(pattern, next, name[n], is_set);
            } else {
                if (pattern[p] == '\\' && next < pattern.size()) ++p, ++next;
                matched = pattern[p] == name[n];
            }
            if (matched) {
                p = next, ++n;
                continue;
            }
        }
        if (star_p == std::string::npos) return false;
        p = star_p, n = ++star_n;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}
