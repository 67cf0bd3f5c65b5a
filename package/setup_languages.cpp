#include "package/setup_languages.h"

#include <initializer_list>

#include "package/package_format.h"

namespace {

// The entry's tag is `wanted`, ignoring ASCII case. Tags hold letters,
// digits and hyphens, which all have bit 0x20 set but capital letters, so
// setting it on both sides compares them without regard to case.
bool TagIs(const uint8_t* entry, const char* wanted) {
    const char* tag = reinterpret_cast<const char*>(entry + 4);
    uint32_t i = 0;
    for (; i < kLanguageTagSize && tag[i]; ++i)
        if ((tag[i] | 0x20) != (wanted[i] | 0x20)) return false;
    return wanted[i] == 0;
}

}  // namespace

int ChooseLanguage(const uint8_t* table, uint32_t count, uint16_t ui_langid, uint16_t code_page, const char* wanted) {
    if (wanted && wanted[0]) {
        for (uint32_t i = 0; i < count; ++i)
            if (TagIs(table + i * kLanguageEntrySize, wanted))
                return ReadU16(table + i * kLanguageEntrySize + 2) == code_page || i == 0 ? int(i) : -1;
        return -1;
    }
    // The whole LANGID first, then the primary language (its low 10 bits).
    for (uint16_t mask : {uint16_t(0xFFFF), uint16_t(0x3FF)})
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* entry = table + i * kLanguageEntrySize;
            if (ReadU16(entry + 2) == code_page && ((ReadU16(entry) ^ ui_langid) & mask) == 0) return int(i);
        }
    return 0;
}
