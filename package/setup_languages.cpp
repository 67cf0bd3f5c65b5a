#include "package/setup_languages.h"

#include "package/package_format.h"

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// The entry's tag is `wanted`, ignoring ASCII case.
bool TagIs(const uint8_t* entry, const char* wanted) {
    const char* tag = reinterpret_cast<const char*>(entry + 4);
    uint32_t i = 0;
    for (; i < kLanguageTagSize && tag[i]; ++i)
        if (Lower(tag[i]) != Lower(wanted[i])) return false;
    return wanted[i] == 0;
}

// The primary language: the low 10 bits of a LANGID.
constexpr uint16_t kPrimaryMask = 0x3FF;

}  // namespace

int ChooseLanguage(const uint8_t* table, uint32_t count, uint16_t ui_langid, uint16_t code_page, const char* wanted) {
    bool by_tag = wanted && wanted[0];
    int primary = -1;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = table + i * kLanguageEntrySize;
        uint16_t langid = ReadU16(entry);
        bool shown = ReadU16(entry + 2) == code_page;
        if (by_tag) {
            if (TagIs(entry, wanted)) return shown || i == 0 ? int(i) : -1;
        } else if (shown && langid == ui_langid) {
            return int(i);
        } else if (shown && primary < 0 && (langid & kPrimaryMask) == (ui_langid & kPrimaryMask)) {
            primary = int(i);
        }
    }
    if (by_tag) return -1;
    return primary < 0 ? 0 : primary;
}
