// A delta entry's archive data is two archive items in a row: commands,
// then literal bytes. The commands rebuild the new file from pieces of a
// base file and runs of literal bytes, in output order:
//   op byte H >= 0x80: a literal run first. N = (H >> 5) & 3.
//     N = 0: (H & 0x1F) + 1 literal bytes (1 to 32), no copy.
//     N > 0: N literal bytes, then a copy of (H & 0x1F) + 2 bytes (2 to 33).
//   H from 1 to 0x7F: a copy of H + 1 bytes (2 to 128).
//   H = 0: a little-endian u16 K follows; a copy of K + 129 bytes.
// Every copy is followed by its displacement S (1, 2 or 3 bytes, see
// ReadDisplacement). With the base position P (0 at the start), the copy
// takes its bytes from the base at P + S, and P becomes P + S + count.
//
// The walk below checks every op against the items and the base before
// anyone acts on it, so that a damaged delta can never make an applier read
// or write outside its buffers or its base file. The setup program applies
// deltas from a base file; the builder and tests apply them in memory; both
// go through this walk.
#pragma once
#include <cstddef>
#include <cstdint>

// The setup program copies through one buffer of this size: no copy may be longer.
constexpr uint32_t kDeltaCopyBufferSize = 65536;

enum DeltaStatus : int {
    kDeltaOp,             // the next op is ready
    kDeltaEnd,            // the commands are done
    kDeltaCommandsCut,    // the commands end inside an op
    kDeltaCopyTooLong,    // a copy longer than the copy buffer
    kDeltaLiteralsShort,  // a literal run goes past the end of the literal item
    kDeltaBaseOutside,    // a copy reaches before or past the base file
    kDeltaOutputTooLong,  // the output would outgrow the size it is meant to have
};

// One op: literal_count literal bytes, then copy_count bytes of the base
// from base_position (no copy when copy_count is 0).
struct DeltaOp {
    const uint8_t* literals;  // inside the literal item
    uint32_t literal_count;
    uint32_t base_position;
    uint32_t copy_count;
};

struct DeltaWalk {
    const uint8_t* commands;
    uint32_t command_size;
    const uint8_t* literals;
    uint32_t literal_size;
    uint32_t base_size;
    uint64_t output_limit;
    uint32_t command_at;
    uint32_t literal_at;
    uint32_t base_position;  // P
    uint64_t output_size;    // bytes the ops so far produce
};

// Starts a walk over the two items against a base of base_size bytes; the
// output may reach output_limit bytes and no more.
DeltaWalk StartDeltaWalk(const uint8_t* commands, uint32_t command_size, const uint8_t* literals,
                         uint32_t literal_size, uint32_t base_size, uint64_t output_limit);

// Takes the next op. Anything but kDeltaOp and kDeltaEnd is a fault that
// ends the walk: the op it was reading is not returned.
DeltaStatus NextDeltaOp(DeltaWalk* walk, DeltaOp* op);

// Reads the displacement that starts at bytes:
//   D bit 7 clear: two bytes, V = (D & 0x7F) << 8 | next. D & 0x40: S = V - 32768 - 32
//     (-16,416 to -33); else S = V + 32 (32 to 16,415).
//   D bits 7, 6 = 1, 0: one byte, V = D & 0x3F. D & 0x20: S = V - 64 (-32 to -1); else S = V.
//   D bits 7, 6 = 1, 1: three bytes, V = (D & 0x3F) << 16 | next << 8 | next.
//     D & 0x20: S = V - 4,194,304 - 16,416 (-2,113,568 to -16,417); else S = V + 16,416
//     (16,416 to 2,113,567).
// Returns the bytes it took (1 to 3), or 0 when fewer than that are available.
int ReadDisplacement(const uint8_t* bytes, size_t available, int32_t* displacement);
