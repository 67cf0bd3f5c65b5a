#include "engine/uninstaller_data.h"

namespace {

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }

}  // namespace

size_t ReadUninstallerTexts(const uint8_t* data, size_t size, UninstallerTexts* texts) {
    for (LogText& t : texts->text) t = LogText{"", 0};
    if (size < 6) return 0;
    uint32_t part = U32(data);
    // The closing header must follow the part, whole.
    if (part < 6 || part > size || size - part < kLogHeaderSize) return 0;
    uint16_t count = U16(data + 4);
    const uint8_t* at = data + 6;
    const uint8_t* end = data + part;
    for (uint16_t i = 0; i < count; ++i) {
        if (end - at < 2) return 0;
        uint16_t n = U16(at);
        if (size_t(end - at - 2) < n) return 0;
        if (i < kUninstallerTextCount) texts->text[i] = LogText{reinterpret_cast<const char*>(at + 2), n};
        at += 2 + n;
    }
    return at == end ? part : 0;
}
