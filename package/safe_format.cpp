#include "package/safe_format.h"

#include <cstring>

namespace {

// A directive (the characters after %) and the text it stands for.
struct Directive {
    const char* name;
    const char* text;
};

struct Output {
    char* out;
    size_t capacity;
    size_t length;

    bool Full() const { return length + 1 >= capacity; }
    void Put(char c) {
        if (!Full()) out[length++] = c;
    }
    void Put(const char* text) {
        while (*text && !Full()) out[length++] = *text++;
    }
};

const Directive* MatchDirective(const char* at, const Directive* directives, size_t count) {
    for (size_t k = 0; k < count; ++k)
        if (std::strncmp(at, directives[k].name, std::strlen(directives[k].name)) == 0) return &directives[k];
    return nullptr;
}

size_t Format(char* out, size_t capacity, const char* format, const Directive* directives, size_t count) {
    Output o = {out, capacity, 0};
    if (capacity == 0) return 0;
    bool used = false;
    for (const char* p = format ? format : ""; *p && !o.Full();) {
        if (p[0] != '%') {
            o.Put(*p++);
        } else if (p[1] == '%') {
            o.Put('%');
            p += 2;
        } else if (const Directive* d = used ? nullptr : MatchDirective(p + 1, directives, count)) {
            o.Put(d->text);
            p += 1 + std::strlen(d->name);
            used = true;
        } else {
            o.Put(*p++);  // not ours: the sequence is copied as it stands
        }
    }
    out[o.length] = 0;
    return o.length;
}

// Writes value in decimal into text (at least 11 bytes).
void Decimal(char* text, uint32_t value, bool is_signed) {
    char digits[10];
    int n = 0;
    bool negative = is_signed && int32_t(value) < 0;
    uint32_t magnitude = negative ? 0u - value : value;
    do {
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (negative) *text++ = '-';
    while (n) *text++ = digits[--n];
    *text = 0;
}

}  // namespace

size_t FormatWithString(char* out, size_t capacity, const char* format, const char* argument) {
    const Directive directives[] = {{"s", argument ? argument : ""}};
    return Format(out, capacity, format, directives, 1);
}

size_t FormatWithNumber(char* out, size_t capacity, const char* format, uint32_t value) {
    char as_signed[12], as_unsigned[12];
    Decimal(as_signed, value, true);
    Decimal(as_unsigned, value, false);
    const Directive directives[] = {{"d", as_signed},  {"i", as_signed},    {"ld", as_signed},
                                    {"li", as_signed}, {"u", as_unsigned}, {"lu", as_unsigned}};
    return Format(out, capacity, format, directives, sizeof directives / sizeof directives[0]);
}
