#include "engine/delta_format.h"

int ReadDisplacement(const uint8_t* bytes, size_t available, int32_t* displacement) {
    if (available < 1) return 0;
    uint8_t d = bytes[0];
    if (!(d & 0x80)) {
        if (available < 2) return 0;
        int32_t v = int32_t(d & 0x7F) << 8 | bytes[1];
        *displacement = (d & 0x40) ? v - 32768 - 32 : v + 32;
        return 2;
    }
    if (!(d & 0x40)) {
        int32_t v = d & 0x3F;
        *displacement = (d & 0x20) ? v - 64 : v;
        return 1;
    }
    if (available < 3) return 0;
    int32_t v = int32_t(d & 0x3F) << 16 | int32_t(bytes[1]) << 8 | bytes[2];
    *displacement = (d & 0x20) ? v - 4194304 - 16416 : v + 16416;
    return 3;
}

DeltaWalk StartDeltaWalk(const uint8_t* commands, uint32_t command_size, const uint8_t* literals,
                         uint32_t literal_size, uint32_t base_size, uint64_t output_limit) {
    DeltaWalk w = {};
    w.commands = commands;
    w.command_size = command_size;
    w.literals = literals;
    w.literal_size = literal_size;
    w.base_size = base_size;
    w.output_limit = output_limit;
    return w;
}

DeltaStatus NextDeltaOp(DeltaWalk* w, DeltaOp* op) {
    if (w->command_at >= w->command_size) return kDeltaEnd;
    // Everything is read and checked into locals first; the walk moves on
    // only when the whole op is sound.
    uint32_t at = w->command_at;
    const uint32_t size = w->command_size;
    uint8_t h = w->commands[at++];
    uint32_t literal_count = 0, copy_count = 0;
    if (h >= 0x80) {
        uint32_t n = (h >> 5) & 3;
        if (n == 0) {
            literal_count = (h & 0x1F) + 1u;
        } else {
            literal_count = n;
            copy_count = (h & 0x1F) + 2u;
        }
    } else if (h > 0) {
        copy_count = h + 1u;
    } else {
        if (size - at < 2) return kDeltaCommandsCut;
        copy_count = (w->commands[at] | uint32_t(w->commands[at + 1]) << 8) + 129u;
        at += 2;
    }
    if (literal_count > w->literal_size - w->literal_at) return kDeltaLiteralsShort;
    if (copy_count > kDeltaCopyBufferSize) return kDeltaCopyTooLong;

    int64_t from = w->base_position;
    if (copy_count) {
        int32_t s;
        int taken = ReadDisplacement(w->commands + at, size - at, &s);
        if (!taken) return kDeltaCommandsCut;
        at += uint32_t(taken);
        from += s;
        if (from < 0 || from + copy_count > w->base_size) return kDeltaBaseOutside;
    }
    uint64_t produced = uint64_t(literal_count) + copy_count;
    if (produced > w->output_limit - w->output_size) return kDeltaOutputTooLong;

    op->literals = w->literals + w->literal_at;
    op->literal_count = literal_count;
    op->base_position = uint32_t(from);
    op->copy_count = copy_count;
    w->command_at = at;
    w->literal_at += literal_count;
    if (copy_count) w->base_position = uint32_t(from + copy_count);
    w->output_size += produced;
    return kDeltaOp;
}
