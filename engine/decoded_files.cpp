#include "engine/decoded_files.h"

#include <windows.h>

#include "decoder/archive.h"
#include "decoder/stream_decoder.h"
#include "engine/checksum.h"
#include "engine/memory.h"
#include "engine/message_argument.h"
#include "package/file_list.h"
#include "package/package_format.h"
#include "package/setup_config.h"
#include "startup/process_state.h"

namespace {

constexpr int kErrorChecksum = 21;

// A buffer that grows as needed and is kept for the next file.
struct Room {
    void* data;
    uint32_t size;
};

// A verified file kept for the delta entries that still need it.
struct KeptFile {
    const uint8_t* entry;
    uint32_t ordinal;
    uint32_t size;
    uint32_t checksum;
    uint8_t* data;
};

struct DecodedFiles {
    // The file list the plan is for, and for each of its entries one past
    // the ordinal of the last entry that needs the entry's file (0: none).
    const uint8_t* list;
    uint32_t count;
    uint32_t* needed_until;
    KeptFile* kept;  // room for `count`
    uint32_t kept_count;
    uint32_t kept_bytes;
    // Where the last ordinal lookup stopped: entries are installed in order.
    const uint8_t* walk_entry;
    uint32_t walk_ordinal;
    // A file that is not kept, and a file being built: each reused from
    // file to file.
    Room scratch;
    Room building;
};

DecodedFiles g_files;
uint32_t g_in_memory_limit = kInMemoryFileLimit;
uint32_t g_kept_limit = kKeptBasesLimit;

void* Allocate(uint32_t size) {
    void* block;
    return AllocRetry(&block, size ? size : 1) ? block : nullptr;
}

// Which entries of the current file list delta entries of the same list
// build on, and up to which entry each is needed. A base in another setup
// type's list is not planned for: it is decoded for each of its deltas.
bool Plan() {
    DecodedFiles& f = g_files;
    const uint8_t* list = g_config.current_first_entry;
    uint32_t n = g_config.current_file_count;
    if (f.needed_until && f.list == list && f.count == n) return true;
    ReleaseDecodedFiles();
    if (!list || !n) return false;
    void* until;
    if (!AllocZeroedRetry(&until, n * sizeof(uint32_t))) return false;
    f.kept = static_cast<KeptFile*>(Allocate(n * sizeof(KeptFile)));
    if (!f.kept) {
        FreeAndClear(&until);
        return false;
    }
    f.needed_until = static_cast<uint32_t*>(until);
    f.list = f.walk_entry = list;
    f.count = n;
    const uint8_t* e = list;
    for (uint32_t j = 0; j < n; ++j, e = NextEntry(e)) {
        if (!(e[kEntryFlags] & kEntryIsDelta) || e[kEntryPlacement] > kPlacementRemoved ||
            ReadU16(e + kEntrySetupType) != g_config.current_type)
            continue;
        // A base that comes after its delta is needed again for itself.
        uint32_t base = ReadU32(e + kEntryBaseOrdinal);
        if (base < n) f.needed_until[base] = (j > base ? j : base) + 1;
    }
    return true;
}

// The entry's ordinal in the planned list; `count` when it is not in it.
uint32_t OrdinalOf(const uint8_t* entry) {
    DecodedFiles& f = g_files;
    if (entry < f.walk_entry) {
        f.walk_entry = f.list;
        f.walk_ordinal = 0;
    }
    while (f.walk_ordinal < f.count && f.walk_entry != entry) {
        f.walk_entry = NextEntry(f.walk_entry);
        ++f.walk_ordinal;
    }
    return f.walk_ordinal;
}

// Frees the kept files that no entry from `ordinal` on needs.
void DropKeptBefore(uint32_t ordinal) {
    DecodedFiles& f = g_files;
    for (uint32_t k = 0; k < f.kept_count;) {
        KeptFile& kept = f.kept[k];
        if (f.needed_until[kept.ordinal] > ordinal) {
            ++k;
            continue;
        }
        f.kept_bytes -= kept.size;
        FreeAndClear(reinterpret_cast<void**>(&kept.data));
        kept = f.kept[--f.kept_count];
    }
}

// A kept copy of exactly this file, or null.
const KeptFile* FindKept(const uint8_t* file, uint32_t ordinal, uint32_t size, uint32_t checksum) {
    for (uint32_t k = 0; k < g_files.kept_count; ++k) {
        const KeptFile& kept = g_files.kept[k];
        if (kept.entry == file && kept.ordinal == ordinal && kept.size == size && kept.checksum == checksum)
            return &kept;
    }
    return nullptr;
}

uint8_t* Grow(Room& room, uint32_t size) {
    if (!room.data || room.size < size) {
        FreeAndClear(&room.data);
        room.data = Allocate(size);
        room.size = room.data ? size : 0;
    }
    return static_cast<uint8_t*>(room.data);
}

}  // namespace

int FileInMemory(const uint8_t* installing, const uint8_t* file, const uint8_t** bytes) {
    DecodedFiles& f = g_files;
    uint32_t size = ReadU32(file + kEntryUnpackedSize), checksum = ReadU32(file + kEntryChecksum);
    if (size > g_in_memory_limit) return -1;

    uint32_t now = f.count, ordinal = f.count;  // f.count: not in the planned list
    if (Plan()) {
        now = OrdinalOf(installing);
        if (file == installing) ordinal = now;
        else if (ReadU16(installing + kEntrySetupType) == g_config.current_type)
            ordinal = ReadU32(installing + kEntryBaseOrdinal);
        if (now < f.count) DropKeptBefore(now);
        if (ordinal < f.count) {
            if (const KeptFile* kept = FindKept(file, ordinal, size, checksum)) {
                *bytes = kept->data;
                return 1;
            }
        }
    }
    bool keep = now < f.count && ordinal < f.count && f.needed_until[ordinal] > now + 1 &&
                size <= g_kept_limit - f.kept_bytes && f.kept_count < f.count;
    uint8_t* buffer = keep ? static_cast<uint8_t*>(Allocate(size)) : nullptr;
    if (!buffer) {
        keep = false;
        buffer = Grow(f.scratch, size);
        if (!buffer) return -1;
    }

    int error = ArchivePosition(ReadU32(file + kEntryArchiveOffset));
    DWORD produced = 0;
    bool good = !error &&
                DecodeToMemory(buffer, size, g_archive.handle, ReadU32(file + kEntryStoredSize), &produced) &&
                produced == size && ChecksumUpdate(0, buffer, size) == checksum;
    if (!good) {
        if (keep) FreeAndClear(reinterpret_cast<void**>(&buffer));
        // A stream cut short by a volume that could not be had is a missing
        // disk (18) or a cancelled prompt (15), not a damaged file.
        if (!error) error = LostVolumeError();
        g_state.install_error = error ? error : kErrorChecksum;
        if (!error) SetMessageArgument(g_state.work_path);
        return 0;
    }
    if (keep) {
        f.kept[f.kept_count++] = {file, ordinal, size, checksum, buffer};
        f.kept_bytes += size;
    }
    *bytes = buffer;
    return 1;
}

uint8_t* BuildingRoom(uint32_t size) { return Grow(g_files.building, size); }

uint32_t InMemoryFileLimit() { return g_in_memory_limit; }

void SetDecodedFileLimits(uint32_t in_memory_file, uint32_t kept_bases) {
    ReleaseDecodedFiles();
    g_in_memory_limit = in_memory_file;
    g_kept_limit = kept_bases;
}

void ReleaseDecodedFiles() {
    DecodedFiles& f = g_files;
    for (uint32_t k = 0; k < f.kept_count; ++k) FreeAndClear(reinterpret_cast<void**>(&f.kept[k].data));
    FreeAndClear(reinterpret_cast<void**>(&f.kept));
    FreeAndClear(reinterpret_cast<void**>(&f.needed_until));
    FreeAndClear(&f.scratch.data);
    FreeAndClear(&f.building.data);
    f = DecodedFiles{};
}
