#include "startup/packed_image.h"

// Everything here runs before the program is unpacked (see
// KILN_UNPACKER_CODE): no library calls, no constant tables.

KILN_UNPACKER_CODE uint32_t PackedChecksum(uint32_t sum, const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) sum = (sum << 1 | sum >> 31) + data[i];
    return sum;
}

KILN_UNPACKER_CODE void FilterCallTargets(uint8_t* code, size_t size, bool to_absolute) {
    for (size_t i = 0; i + 5 <= size; ++i) {
        if ((code[i] & 0xFE) != 0xE8) continue;
        uint8_t* operand = code + i + 1;
        // The top byte 0x00 or 0xFF: a value of 25 bits, sign-extended.
        if (uint8_t(operand[3] + 1) <= 1) {
            uint32_t value = uint32_t(operand[0]) | uint32_t(operand[1]) << 8 | uint32_t(operand[2]) << 16 |
                             uint32_t(operand[3]) << 24;
            uint32_t end = uint32_t(i + 5);  // where the displacement counts from
            value = to_absolute ? value + end : value - end;
            value = (value & 0x1FFFFFF) - (value & 0x1000000) * 2;  // back within the 25 bits
            for (int k = 0; k < 4; ++k) operand[k] = uint8_t(value >> 8 * k);
        }
        i += 4;  // an operand, changed or not, is never taken for an opcode
    }
}

KILN_UNPACKER_CODE bool UnpackImage(uint8_t* image, uint32_t load_base, const PackedImage& packed) {
    uint8_t* target = image + packed.image_rva;
    size_t size = size_t(packed.image_size) + packed.relocations_size, produced;
    if (!SmallInflate(image + packed.stream_rva, packed.stream_size, target, size, &produced) || produced != size ||
        PackedChecksum(0, target, size) != packed.checksum)
        return false;
    FilterCallTargets(image + packed.code_rva, packed.code_size, false);

    uint32_t delta = load_base - packed.linked_base;
    uint8_t* gap = target + packed.image_size;
    for (uint32_t site = packed.image_rva; gap < target + size;) {
        uint32_t step = 0;
        for (unsigned shift = 0; gap < target + size; shift += 7) {
            step |= uint32_t(*gap & 0x7F) << shift;
            if (!(*gap++ & 0x80)) break;
        }
        site += step;
        uint8_t* word = image + site;
        uint32_t value = uint32_t(word[0]) | uint32_t(word[1]) << 8 | uint32_t(word[2]) << 16 |
                         uint32_t(word[3]) << 24;
        value += delta;
        for (int k = 0; k < 4; ++k) word[k] = uint8_t(value >> 8 * k);
    }
    for (gap = target + packed.image_size; gap < target + size; ++gap) *gap = 0;
    return true;
}
