#include "builder/manifest/code_page.h"

#include <cstdio>

const CodePage kWindows1252 = {
    "Windows-1252",
    {
        // 0x80: the typographic characters Windows puts in place of C1 controls.
        0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
        0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E,
        0x0178,
        // 0xA0 to 0xFF: Latin-1.
        0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF,
        0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,
        0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,
        0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,
        0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
        0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,
    },
};

namespace {

// The next character of `s` at *i, or -1 when the bytes there are no UTF-8
// (a stray continuation byte, a short sequence, an overlong form, a surrogate).
int32_t NextCharacter(const std::string& s, size_t* i) {
    uint8_t lead = uint8_t(s[*i]);
    int extra = lead < 0x80 ? 0 : lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 && lead < 0xF0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : -1;
    if (extra < 0 || s.size() - *i <= size_t(extra)) return -1;
    int32_t c = extra ? lead & (0x3F >> extra) : lead;
    for (int k = 1; k <= extra; ++k) {
        uint8_t b = uint8_t(s[*i + size_t(k)]);
        if ((b & 0xC0) != 0x80) return -1;
        c = c << 6 | (b & 0x3F);
    }
    static const int32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return -1;
    *i += size_t(extra) + 1;
    return c;
}

}  // namespace

std::string FromUtf8(const std::string& utf8, const CodePage& page, std::string* refusal) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        size_t at = i;
        int32_t c = NextCharacter(utf8, &i);
        if (c < 0) {
            *refusal = "is no UTF-8 text (byte " + std::to_string(at) + ")";
            return {};
        }
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        int byte = -1;
        for (int b = 0; b < 128 && byte < 0; ++b)
            if (page.high[b] == c) byte = 0x80 + b;
        if (byte < 0) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", unsigned(c));
            *refusal = std::string("holds '") + utf8.substr(at, i - at) + "' (" + code + "), which " + page.name +
                       " cannot hold";
            return {};
        }
        out += char(byte);
    }
    return out;
}
