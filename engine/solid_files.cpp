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

// Positions count from the first byte of a block's chain: in a linked
// archive every block is one chain, otherwise each block is a chain alone.
struct OpenBlock {
    bool open;
    uint32_t number;       // the block being decoded
    uint64_t block_end;    // where it ends in its chain
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

// Starts block `number`'s stream: afresh in the first `window` bytes of the
// window, or (window 0) in what the block before it left there.
int StartStream(uint32_t number, uint32_t window) {
    SolidBlock block = SolidBlockAt(g_config.solid_blocks.data, number);
    if (int error = ArchivePosition(block.archive_offset)) return Fail(error);
    g_block.packed_left = block.packed;
    g_block.number = number;
    g_block.block_end = (g_config.linked_blocks ? block.unpacked_before : 0) + block.unpacked;
    LzmaInput input{Refill, nullptr};
    LzmaResult started = window ? LzmaStart(&g_block.stream, block.properties, block.unpacked, input,
                                            {g_block.window, window, nullptr, nullptr})
                                : LzmaContinue(&g_block.stream, block.properties, block.unpacked, input);
    return started == kLzmaOk ? 1 : StreamFailure(started);
}

// Starts the chain that holds block `number` from its first byte.
int OpenAt(uint32_t number) {
    CloseBlock();
    const uint8_t* table = g_config.solid_blocks.data;
    uint64_t span = SolidChainSpan(table, number, g_config.linked_blocks);
    uint32_t window = SolidWindowSize(span, SolidBlockAt(table, number).properties.dictionary);
    if (window > g_block.window_size) {
        FreeAndClear(reinterpret_cast<void**>(&g_block.window));
        g_block.window_size = 0;
        if (!AllocRetry(reinterpret_cast<void**>(&g_block.window), window)) return Fail(kErrorNoMemory);
        g_block.window_size = window;
    }
    if (!g_block.input && !AllocRetry(reinterpret_cast<void**>(&g_block.input), kInputSize))
        return Fail(kErrorNoMemory);
    // A window that holds the whole chain never wraps: any step will do.
    g_block.step = window >= span ? kMaxStep : window / 2 < kMaxStep ? window / 2 : kMaxStep;
    g_block.open = true;
    return StartStream(g_config.linked_blocks ? 0 : number, window);
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
    bool linked = g_config.linked_blocks;
    uint64_t from = ReadU32(entry + kEntryStoredSize);
    if (linked) from += SolidBlockAt(g_config.solid_blocks.data, number).unpacked_before;
    const uint64_t to = from + ReadU32(entry + kEntryUnpackedSize);
    // Earlier bytes that the window no longer holds need the chain again.
    size_t run;
    bool reachable = g_block.open && (linked || g_block.number == number) && g_block.stream.failure == kLzmaOk &&
                     (from >= LzmaDecoded(g_block.stream) || LzmaHistory(g_block.stream, from, &run));
    if (!reachable && !OpenAt(number)) return 0;
    if (!TakeFromWindow(&from, to, take, context)) return -1;
    while (from < to) {
        uint64_t decoded = LzmaDecoded(g_block.stream);
        // A block decoded to its end: the entry lies in a later one of the
        // chain. (A match that ended the block in the last step left its
        // end marker unread.)
        if (decoded == g_block.block_end) {
            LzmaResult ended = LzmaDecodeTo(&g_block.stream, decoded);
            if (ended != kLzmaOk) return StreamFailure(ended);
            if (!StartStream(g_block.number + 1, 0)) return 0;
            continue;
        }
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
