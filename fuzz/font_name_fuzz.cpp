// Any bytes may arrive as a font file. The full name read from it must stay
// inside its buffer, be terminated, and come only from bytes of the file
// (an exact-size heap copy, watched by AddressSanitizer).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/font_name.h"

namespace {

bool ReadMemory(void* context, uint32_t offset, uint8_t* buffer, uint32_t size) {
    const auto* file = static_cast<const std::vector<uint8_t>*>(context);
    if (uint64_t(offset) + size > file->size()) return false;
    if (size) std::memcpy(buffer, file->data() + offset, size);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(data, data + size);
    char name[kFontNameSize];
    std::memset(name, 0x7F, sizeof name);
    size_t length = ReadFontFullName(ReadMemory, &file, name);
    if (length >= kFontNameSize || std::memchr(name, 0, sizeof name) != name + length) abort();
    return 0;
}
