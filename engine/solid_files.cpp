#include "engine/solid_files.h"

#include <windows.h>

#include "decoder/archive.h"
#include "decoder/lzma_decoder.h"
#include "engine/memory.h"
#include "engine/message_argument.h"
#include "package/package_format.h"
#include "package/setup_config.h"
#include "package/solid_blocks.h"
#include "startup/process_state.h"

namespace {

constexpr int kErrorNoMemory = 12;
constexpr int kErrorChecksum = 21;
constexpr uint32_t kInputSize = 64u << 10;
// Bytes decoded per step, each step's bytes read back from the window
// before the next: at most half the window, so a step and the match that
// may overrun it never wrap onto bytes not yet read back.
constexpr uint32_t kMaxStep = 1u << 20;

struct OpenBlock {
    bool open;
    uint32_t number;
    uint32_t packed_left;  // bytes of the block's stream not yet read
    LzmaStream stream;
    uint32_t step;
    uint8_t* window;
    uint32_t window_size;  // the room taken, kept for the next block
    uint8_t* input;
};

OpenBlock g_block;

// Refills from the archive, never past the block's own stream: a damaged
// stream that wants more then ends as a stream cut short.
bool Refill(void*, const uint8_t** data, size_t* size) {
    OpenBlock& b = g_block;
    DWORD want = b.packed_left < kInputSize ? b.packed_left : kInputSize, got = 0;
    if (!want || ArchiveRead(g_archive.handle, b.input, want, &got) || got == 0) return false;
    b.packed_left -= got;
    *data = b.input;
    *size = got;
    return true;
}

void CloseBlock() {
    if (g_block.open) LzmaEnd(&g_block.stream);
    g_block.open = false;
}

int Fail(int error) {
    CloseBlock();
    g_state.install_error = error;
    if (error == kErrorChecksum) SetMessageArgument(g_state.work_path);
    return 0;
}

// What a stream that stopped short means: a volume that could not be had,
// no memory, or damage.
int StreamFailure(LzmaResult result) {
    if (int lost = LostVolumeError()) return Fail(lost);
    return Fail(result == kLzmaNoMemory ? kErrorNoMemory : kErrorChecksum);
}

// Starts block `number` from its first byte.
int OpenAt(uint32_t number) {
    CloseBlock();
    const uint8_t* table = g_config.solid_blocks.data;
    SolidBlock block = SolidBlockAt(table, number);
    uint32_t window = SolidWindowSize(block);
    if (window > g_block.window_size) {
        FreeAndClear(reinterpret_cast<void**>(&g_block.window));
        g_block.window_size = 0;
        if (!AllocRetry(reinterpret_cast<void**>(&g_block.window), window)) return Fail(kErrorNoMemory);
        g_block.window_size = window;
    }
    if (!g_block.input && !AllocRetry(reinterpret_cast<void**>(&g_block.input), kInputSize))
        return Fail(kErrorNoMemory);
    if (int error = ArchivePosition(block.archive_offset)) return Fail(error);
    g_block.packed_left = block.packed;
    g_block.number = number;
    // A window that holds the whole block never wraps: any step will do.
    g_block.step = window >= block.unpacked ? kMaxStep : window / 2 < kMaxStep ? window / 2 : kMaxStep;
    g_block.open = true;
    LzmaResult started = LzmaStart(&g_block.stream, block.properties, block.unpacked, {Refill, nullptr},
                                   {g_block.window, window, nullptr, nullptr});
    return started == kLzmaOk ? 1 : StreamFailure(started);
}

// Hands [from, to) to the sink as far as the window holds it; `from` moves on.
bool TakeFromWindow(uint64_t* from, uint64_t to, SolidSink take, void* context) {
    while (*from < to) {
        size_t run = 0;
        const uint8_t* at = LzmaHistory(g_block.stream, *from, &run);
        if (!at) return true;
        if (run > to - *from) run = size_t(to - *from);
        if (!take(context, at, uint32_t(run))) return false;
        *from += run;
    }
    return true;
}

}  // namespace

bool ArchiveIsSolid() { return g_config.setup_flags & kSetupSolidArchive; }

int ReadSolidEntry(const uint8_t* entry, SolidSink take, void* context) {
    uint32_t number = ReadU32(entry + kEntryArchiveOffset);
    uint64_t from = ReadU32(entry + kEntryStoredSize);
    const uint64_t to = from + ReadU32(entry + kEntryUnpackedSize);
    // Earlier bytes that the window no longer holds need the block again.
    size_t run;
    bool reachable = g_block.open && g_block.number == number && g_block.stream.failure == kLzmaOk &&
                     (from >= LzmaDecoded(g_block.stream) || LzmaHistory(g_block.stream, from, &run));
    if (!reachable && !OpenAt(number)) return 0;
    if (!TakeFromWindow(&from, to, take, context)) return -1;
    while (from < to) {
        uint64_t decoded = LzmaDecoded(g_block.stream);
        // Bytes before the entry's are passed over in steps as well: the
        // window then still holds the entry's first byte when a step passes it.
        LzmaResult result = LzmaDecodeTo(&g_block.stream, decoded + g_block.step < to ? decoded + g_block.step : to);
        if (result != kLzmaOk) return StreamFailure(result);
        if (!TakeFromWindow(&from, to, take, context)) return -1;
    }
    return 1;
}

void ReleaseSolidStream() {
    CloseBlock();
    FreeAndClear(reinterpret_cast<void**>(&g_block.window));
    FreeAndClear(reinterpret_cast<void**>(&g_block.input));
    g_block = OpenBlock{};
}
