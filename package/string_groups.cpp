#include "package/string_groups.h"

#include <cstring>

#include "package/package_format.h"

namespace {
const char kEmptyText[] = "";
}

const char* GroupText(const uint8_t* record, int group, int index) {
    if (!record || unsigned(group) >= unsigned(kStringGroupCount)) return kEmptyText;
    uint32_t offset = ReadU32(record + kTypeStringGroups + 4 * uint32_t(group));
    if (!offset) return kEmptyText;
    const uint8_t* at = record + offset;
    uint16_t steps = uint16_t(index);
    if (steps >= ReadU16(at)) return kEmptyText;
    const char* text = reinterpret_cast<const char*>(at + 2);
    while (steps-- > 0) text += std::strlen(text) + 1;
    return text;
}

const char* TypeText(const uint8_t* record, uint32_t field_offset) {
    if (!record) return nullptr;
    uint32_t offset = ReadU32(record + field_offset);
    return offset ? reinterpret_cast<const char*>(record + offset) : nullptr;
}
