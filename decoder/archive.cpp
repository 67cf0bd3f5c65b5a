#include "decoder/archive.h"

#include "decoder/archive_read.h"
#include "decoder/stream_decoder.h"
#include "engine/memory.h"
#include "engine/message_argument.h"
#include "engine/path_text.h"
#include "package/file_ops.h"
#include "package/integrity_check.h"
#include "package/package_format.h"
#include "package/safe_format.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "wizard/message_box.h"

ArchiveState g_archive = {INVALID_HANDLE_VALUE, 0, 0, 0, 0, 0, false, 0, false, 0, 0};

namespace {

constexpr int kPageCancel = 2;
constexpr int kDiskPromptText = 28, kEndSetupQuestion = 13, kSetupCancelledText = 15;
constexpr size_t kDiskPromptSize = 200;

// How an attempt to open a volume ended.
enum VolumeOutcome { kVolumeOpen = 0, kVolumeCancelled = 15, kVolumeMissing = 18 };

// File position of the archive length in the current volume's file.
uint32_t LengthPosition() { return g_archive.volume_number == 0 ? g_archive.start_position : 0; }

// Volume 0 is the setup file; volume k is the setup file with extension .Dk.
bool SetVolumePath(int number) {
    char* path = g_state.current_volume_path;
    if (!CopyText(path, g_state.source_path, kPathSize)) return false;
    if (number == 0) return true;
    char extension[16];
    wsprintfA(extension, ".D%2.2d", number);
    return ReplaceExtension(path, extension, kPathSize);
}

void CloseVolume() {
    CloseFile(g_archive.handle);
    g_archive.handle = INVALID_HANDLE_VALUE;
}

// Asks for the disk of the current volume. True: try the file again; false:
// the user ended the installation.
bool PromptForDisk() {
    char prompt[kDiskPromptSize];  // a longer text is cut short
    FormatWithNumber(prompt, sizeof prompt, LookUpText(kGroupMessages, kDiskPromptText),
                     uint32_t(g_archive.volume_number + 1));
    if (ShowMessage(prompt, MB_OKCANCEL | MB_ICONINFORMATION) == IDOK) return true;
    char text[512];
    FormatMessageText(text, sizeof text, kEndSetupQuestion);
    // Only an explicit No goes back: a box that could not be shown must not
    // bring the prompt round for ever.
    if (ShowMessage(text, MB_YESNO | MB_ICONQUESTION) == IDNO) return true;
    FormatMessageText(text, sizeof text, kSetupCancelledText);
    ShowMessage(text, MB_ICONINFORMATION);
    g_state.page_result = kPageCancel;
    g_state.document_to_open[0] = 0;
    g_state.program_to_run[0] = 0;
    g_state.screen_saver_to_install[0] = 0;
    return false;
}

// One attempt at the current volume path: the file opens and its length
// can be read.
bool TryOpenVolume() {
    HANDLE h = OpenForReading(g_state.current_volume_path);
    if (h == INVALID_HANDLE_VALUE) return false;
    uint8_t raw[4];
    uint32_t at = LengthPosition();
    if (Seek(h, int32_t(at), FILE_BEGIN) != at || ReadExactly(h, raw, 4) != 0) {
        CloseFile(h);
        return false;
    }
    uint32_t length = ReadU32(raw);
    if (g_archive.volume_number > 0 && g_archive.volumes_checked &&
        (uint32_t(g_archive.volume_number) > g_archive.volume_count ||
         !VolumeFileIsIntact(h, length, g_archive.set_mark))) {
        CloseFile(h);
        return false;
    }
    g_archive.handle = h;
    g_archive.volume_length = length;
    return true;
}

// Opens the current volume and moves skip bytes into its data. A file whose
// length cannot be read, or that fails its check, counts as missing, so
// that a bad disk is asked for again instead of being retried blindly.
int OpenVolumeFile(uint32_t skip) {
    while (!TryOpenVolume()) {
        g_archive.volume_length = g_archive.volume_remainder = 0;
        if (!g_archive.prompt_mode) return kVolumeMissing;
        if (!PromptForDisk()) return kVolumeCancelled;
    }
    uint32_t data_start = LengthPosition() + 4;
    bool skipped = skip <= g_archive.volume_length &&
                   (skip == 0 || Seek(g_archive.handle, int32_t(skip), FILE_CURRENT) == data_start + skip);
    if (!skipped) {
        CloseVolume();
        g_archive.volume_length = g_archive.volume_remainder = 0;
        return kVolumeMissing;
    }
    g_archive.volume_remainder = g_archive.volume_length - skip;
    return kVolumeOpen;
}

// Leaves the current volume: reopens it where it broke off when its data
// ended early, else opens the next one.
int OpenFollowingVolume() {
    CloseVolume();
    uint32_t skip = 0;
    if (g_archive.volume_remainder != 0) {
        skip = g_archive.volume_length - g_archive.volume_remainder;
    } else {
        if (!SetVolumePath(g_archive.volume_number + 1)) return kVolumeMissing;
        g_archive.volume_number++;
        g_archive.volume_base += g_archive.volume_length;
        g_archive.volume_length = 0;
    }
    return OpenVolumeFile(skip);
}

// Steps back to the volume before the current one. Its base follows from
// its own length; lengths that do not add up make the archive unusable.
// On failure the state stays on the later volume, unopened, while the path
// names the file that failed.
int OpenPreviousVolume() {
    CloseVolume();
    int later = g_archive.volume_number;
    if (later == 0 || !SetVolumePath(later - 1)) return kVolumeMissing;
    g_archive.volume_number = later - 1;
    int outcome = OpenVolumeFile(0);
    uint32_t length = g_archive.volume_length;
    if (outcome == kVolumeOpen &&
        (length > g_archive.volume_base || (later == 1 && length != g_archive.volume_base))) {
        CloseVolume();
        outcome = kVolumeMissing;
    }
    if (outcome != kVolumeOpen) {
        g_archive.volume_number = later;
        g_archive.volume_length = g_archive.volume_remainder = 0;
        return outcome;
    }
    g_archive.volume_base -= length;
    return kVolumeOpen;
}

// The remainder, worked out from the file position: the decoder gives back
// read-ahead bytes through the file pointer, which no count would see.
void UpdateRemainder() {
    uint32_t data_start = LengthPosition() + 4;
    uint32_t at = Tell(g_archive.handle);
    if (at == INVALID_SET_FILE_POINTER || at > data_start + g_archive.volume_length) {
        g_archive.volume_remainder = 0;
    } else {
        uint32_t end = data_start + g_archive.volume_length;
        g_archive.volume_remainder = at < data_start ? g_archive.volume_length : end - at;
    }
}

int PositionFailure(int outcome) {
    if (outcome == kVolumeCancelled) return 15;
    SetMessageArgument(g_state.current_volume_path);
    return 18;
}

bool ReadThroughArchive(HANDLE source, uint8_t* buffer, DWORD count, DWORD* delivered) {
    return ArchiveRead(source, buffer, count, delivered) == 0;
}

HANDLE CurrentArchiveHandle() { return g_archive.handle; }

// Reads exactly n bytes of archive data.
bool ReadArchiveBytes(void* buffer, DWORD n) {
    DWORD got = 0;
    return ArchiveRead(g_archive.handle, buffer, n, &got) == 0 && got == n;
}

// A 16-bit or 32-bit little-endian size.
bool ReadArchiveSize(bool wide, uint32_t* size) {
    uint8_t raw[4];
    if (!ReadArchiveBytes(raw, wide ? 4 : 2)) return false;
    *size = wide ? ReadU32(raw) : ReadU16(raw);
    return true;
}

}  // namespace

bool OpenArchive() {
    g_state.install_error = 0;
    CloseVolume();
    g_archive.volume_number = 0;
    g_archive.volume_base = 0;
    // Bounded decodes read through the archive from now on.
    g_archive_read = {ReadThroughArchive, CurrentArchiveHandle};
    bool whole = CopyText(g_state.current_volume_path, g_state.source_path, kPathSize);
    // The length is read again so that a second installation starts from
    // volume 0 whatever volume the last one ended in. No disk prompt here:
    // the setup file itself is missing.
    if (!whole || !TryOpenVolume()) {
        g_state.install_error = 16;
        SetMessageArgument(g_state.current_volume_path);
        return false;
    }
    g_archive.volume_remainder = g_archive.volume_length;
    return true;
}

int ArchivePosition(uint32_t x) {
    g_archive.lost_volume = 0;
    while (x < g_archive.volume_base) {
        int outcome = OpenPreviousVolume();
        if (outcome != kVolumeOpen) return PositionFailure(outcome);
    }
    // No handle: the volume the state names was lost or never there; its
    // length is needed to go on, so it is tried again.
    if (g_archive.handle == INVALID_HANDLE_VALUE) {
        int outcome = SetVolumePath(g_archive.volume_number) ? OpenVolumeFile(0) : kVolumeMissing;
        if (outcome != kVolumeOpen) return PositionFailure(outcome);
    }
    while (uint64_t(x) >= uint64_t(g_archive.volume_base) + g_archive.volume_length) {
        g_archive.volume_remainder = 0;
        int outcome = OpenFollowingVolume();
        if (outcome != kVolumeOpen) return PositionFailure(outcome);
    }
    uint32_t inside = x - g_archive.volume_base;
    Seek(g_archive.handle, int32_t(LengthPosition() + 4 + inside), FILE_BEGIN);
    g_archive.volume_remainder = g_archive.volume_length - inside;
    return 0;
}

int ArchiveRead(HANDLE handle, void* buffer, DWORD count, DWORD* delivered) {
    *delivered = 0;
    if (handle != g_archive.handle || handle == INVALID_HANDLE_VALUE) {
        // Not the archive: an ordinary read, with no volumes behind it.
        *delivered = ReadSome(handle, buffer, count);
        return 0;
    }
    uint8_t* out = static_cast<uint8_t*>(buffer);
    bool reopened = false;
    UpdateRemainder();
    for (;;) {
        // Never past the volume's data: whatever follows it in the file is not archive.
        DWORD want = count - *delivered;
        if (want > g_archive.volume_remainder) want = g_archive.volume_remainder;
        DWORD got = ReadSome(g_archive.handle, out + *delivered, want);
        *delivered += got;
        g_archive.volume_remainder -= got;
        if (*delivered == count) return 0;
        if (got < want) {
            // The volume broke off early: it is reopened where it stopped, once.
            if (reopened) return 0;
            reopened = true;
        }
        // Only a set that is known to go on (its integrity record counts its
        // volumes) tells a missing disk from a stream that overran its data.
        const bool more = g_archive.volumes_checked && uint32_t(g_archive.volume_number) < g_archive.volume_count;
        if (int outcome = OpenFollowingVolume(); outcome != kVolumeOpen) {
            if (more) g_archive.lost_volume = outcome;
            return 1;
        }
    }
}

int LostVolumeError() { return g_archive.lost_volume ? PositionFailure(g_archive.lost_volume) : 0; }

HANDLE OpenNextVolume() {
    OpenFollowingVolume();
    return g_archive.handle;
}

int ReadArchiveItem(uint8_t** data, uint32_t* size) {
    uint8_t flags;
    uint32_t packed = 0;
    void* block = nullptr;
    if (!ReadArchiveBytes(&flags, 1) || !ReadArchiveSize(flags & 2, size)) {
        SetMessageArgument(g_state.current_volume_path);
        return 18;
    }
    if (*size == 0) return 0;
    // Zeroed, so that a stream shorter than its item leaves no stale bytes.
    if (!AllocZeroedRetry(&block, *size)) return 12;
    bool read;
    if (flags & 1) {
        // A packed size of 0 would mean an unbounded decode past the item.
        read = ReadArchiveSize(flags & 4, &packed) && packed != 0 &&
               DecodeToMemory(static_cast<uint8_t*>(block), *size, g_archive.handle, packed) == 1;
    } else {
        read = ReadArchiveBytes(block, *size);
    }
    if (!read) {
        FreeAndClear(&block);
        SetMessageArgument(g_state.current_volume_path);
        return 18;
    }
    *data = static_cast<uint8_t*>(block);
    return 0;
}

void CloseArchive() { CloseVolume(); }
