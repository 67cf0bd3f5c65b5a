#include "engine/extraction.h"

#include <winver.h>

#include <cstring>

#include "decoder/archive.h"
#include "decoder/stream_decoder.h"
#include "engine/checksum.h"
#include "engine/decoded_files.h"
#include "engine/delayed_replacement.h"
#include "engine/delta_format.h"
#include "engine/entry_paths.h"
#include "engine/memory.h"
#include "engine/message_argument.h"
#include "engine/path_text.h"
#include "engine/progress.h"
#include "engine/solid_files.h"
#include "engine/uninstaller_data.h"
#include "engine/version_library.h"
#include "package/file_list.h"
#include "package/file_ops.h"
#include "package/package_format.h"
#include "package/safe_format.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "wizard/message_box.h"

namespace {

constexpr uint32_t kChecksumBlockSize = 16384;
constexpr size_t kVersionQuestionSize = 2048;
constexpr size_t kReplaceQuestionSize = 1024;
constexpr uint32_t kProgressUnit = 10000;

// Texts of group 6.
enum : int { kCannotReplaceText = 22, kNewerVersionText = 29, kOtherLanguageText = 30 };

// Install errors raised here.
enum : int {
    kErrorNoMemory = 12,
    kErrorCannotOpen = 16,
    kErrorCannotCreate = 17,
    kErrorBaseRead = 18,
    kErrorDeltaWrite = 19,
    kErrorDiskFull = 20,
    kErrorChecksum = 21,
    kErrorRefused = 22,
};

const char* Destination() { return g_state.work_path; }

// Sets the install error (and the message argument when one is named); 0.
// A file cut short by a volume that could not be had is not damaged: the
// disk is missing (18), or its prompt was cancelled (15).
int Fail(int error, const char* argument) {
    if (error == kErrorChecksum) {
        if (int lost = LostVolumeError()) {
            g_state.install_error = lost;
            return 0;
        }
    }
    g_state.install_error = error;
    if (argument) SetMessageArgument(argument);
    return 0;
}

void SetStatus(uint8_t* entry, uint16_t status) { WriteU16(entry + kEntryInstallStatus, status); }

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Fills the block as far as the file goes, so that every block but the
// last is whole and the checksum chains from block to block.
uint32_t ReadBlock(HANDLE file, uint8_t* block, uint32_t size) {
    uint32_t filled = 0, got;
    while (filled < size && (got = ReadSome(file, block + filled, size - filled)) > 0) filled += got;
    return filled;
}

// True when the open file has the given size and checksum.
bool FileMatches(HANDLE file, uint32_t size, uint32_t checksum) {
    return FileSize(file) == size && FileChecksum(file) == checksum;
}

// True when the existing file at path is already the entry's file.
bool IsSameFile(const char* path, const uint8_t* entry) {
    HANDLE file = OpenForReading(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool same = FileMatches(file, ReadU32(entry + kEntryUnpackedSize), ReadU32(entry + kEntryChecksum));
    CloseFile(file);
    return same;
}

// Proves a file just written against the entry it should be: 16 when it
// cannot be read back, 21 when its size or checksum differs.
int Verify(const char* path, const uint8_t* entry) {
    HANDLE file = OpenForReading(path);
    if (file == INVALID_HANDLE_VALUE) return Fail(kErrorCannotOpen, path);
    bool same = FileMatches(file, ReadU32(entry + kEntryUnpackedSize), ReadU32(entry + kEntryChecksum));
    CloseFile(file);
    return same ? 1 : Fail(kErrorChecksum, Destination());
}

// Creation, last access and last write, from the entry's file-time block.
void SetFileTimes(HANDLE file, const uint8_t* entry) {
    const uint8_t* block = entry + kEntryFixedSize;
    if (entry[kEntryFlags] & (kEntryVersionTest | kEntryLanguageTest)) block += kEntryVersionBlockSize;
    FILETIME times[3];
    for (int i = 0; i < 3; ++i) {
        times[i].dwLowDateTime = ReadU32(block + 8 * i);
        times[i].dwHighDateTime = ReadU32(block + 8 * i + 4);
    }
    SetFileTime(file, &times[0], &times[1], &times[2]);
}

// Asks a Yes/No question about the destination; true only for Yes.
bool AskYes(char* message, const char* text) {
    FormatWithString(message, kVersionQuestionSize, text, Destination());
    return ShowMessage(message, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

int CompareVersions(const uint8_t* entry, const void* info, char* message) {
    uint8_t flags = entry[kEntryFlags];
    const uint8_t* block = entry + kEntryFixedSize;
    void* value;
    UINT length;
    if ((flags & kEntryVersionTest) && VersionQueryValue(info, "\\", &value, &length) &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
        const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        uint32_t ms = ReadU32(block), ls = ReadU32(block + 4);
        bool newer = fixed->dwFileVersionMS > ms || (fixed->dwFileVersionMS == ms && fixed->dwFileVersionLS > ls);
        if (newer) {
            const char* text = LookUpText(kGroupMessages, kNewerVersionText);
            if (!text[0] || !AskYes(message, text)) return 0;
        }
    }
    if ((flags & kEntryLanguageTest) && VersionQueryValue(info, "\\VarFileInfo\\Translation", &value, &length) &&
        length >= 4) {
        uint16_t language = ReadU16(static_cast<const uint8_t*>(value));
        if (language != ReadU16(block + 16) && !AskYes(message, LookUpText(kGroupMessages, kOtherLanguageText)))
            return 0;
    }
    return 1;
}

// The extension's last character is raised (.$$A, .$$B, ... .$$Z) while a
// file of that name exists: a name that is taken, even by a file that
// cannot be opened, is never written over. Past Z there is no free name.
bool ChooseFreeName(char* name, const char* beside, const char* extension) {
    if (!CopyText(name, beside, kPathSize) || !ReplaceExtension(name, extension, kPathSize)) {
        name[0] = 0;
        return false;
    }
    char* last = name + std::strlen(name) - 1;
    while (Exists(name) || lstrcmpiA(name, Destination()) == 0) {
        if (*last == 'Z') return false;
        ++*last;
    }
    return true;
}

// Creates a new file named as ChooseFreeName names it. The creation itself
// takes the name and fails when a file of that name exists: one look-up
// where asking first and creating then took two, and nothing can come
// between them. INVALID_HANDLE_VALUE with the last name tried in `name`.
HANDLE CreateFreeFile(char* name, const char* beside, const char* extension) {
    if (!CopyText(name, beside, kPathSize) || !ReplaceExtension(name, extension, kPathSize)) {
        name[0] = 0;
        return INVALID_HANDLE_VALUE;
    }
    char* last = name + std::strlen(name) - 1;
    for (;; ++*last) {
        if (lstrcmpiA(name, Destination()) != 0) {
            HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE || !Exists(name)) return file;
        }
        if (*last == 'Z') return INVALID_HANDLE_VALUE;
    }
}

// True when the destination's folder is the current directory: it exists,
// made so by the folder chain of an earlier file in the same folder.
bool InDestinationFolder() {
    char current[kPathSize], folder[kPathSize];
    DWORD length = GetCurrentDirectoryA(kPathSize, current);
    if (!length || length >= kPathSize || !CopyText(folder, Destination(), kPathSize)) return false;
    char* slash = FindLastBackslash(folder);
    if (!slash) return false;
    *slash = 0;
    if (EndsInBackslash(current)) current[length - 1] = 0;
    return lstrcmpiA(current, folder) == 0;
}

// The base entry of a delta: entry number `ordinal` of the file list of
// the entry's setup type. Null when the package has no such entry.
const uint8_t* FindBaseEntry(const uint8_t* entry) {
    uint16_t type = ReadU16(entry + kEntrySetupType);
    if (type >= g_config.type_count) return nullptr;
    const Body& list = g_config.types[type].file_list;
    if (!list.data || list.size < kFileListHeaderSize) return nullptr;
    uint32_t ordinal = ReadU32(entry + kEntryBaseOrdinal);
    if (ordinal >= ReadU32(list.data)) return nullptr;
    const uint8_t* base = list.data + kFileListHeaderSize;
    while (ordinal--) base = NextEntry(base);
    return base;
}

bool WriteFailedForSpace() {
    DWORD error = GetLastError();
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

// A solid archive's file, written to the temporary file piece by piece as
// its block is decoded and summed on the way: proved once the last piece
// is written, with nothing read back.
struct SolidWrite {
    HANDLE file;
    ChecksumRun checksum;
    int written;  // WriteAll's result for the last piece
};

bool WritePiece(void* context, const uint8_t* data, uint32_t size) {
    SolidWrite* w = static_cast<SolidWrite*>(context);
    ChecksumAdd(&w->checksum, data, size);
    w->written = WriteAll(w->file, data, size);
    return w->written == 0;
}

int ExtractSolid(const uint8_t* entry, HANDLE temporary) {
    SolidWrite w{temporary, {}, 0};
    int got = ReadSolidEntry(entry, WritePiece, &w);
    bool full = got < 0 && (w.written == 3 || WriteFailedForSpace());
    if (got > 0 && (entry[kEntryFlags] & kEntryHasFileTimes)) SetFileTimes(temporary, entry);
    CloseFile(temporary);
    if (got < 0) return full ? Fail(kErrorDiskFull, nullptr) : Fail(kErrorDeltaWrite, Destination());
    if (!got) return 0;
    // The uninstaller's data follows its program in the file: the sum is not of the whole.
    if (entry[kEntryFlags] & kEntryIsUninstaller) return 1;
    return ChecksumEnd(w.checksum) == ReadU32(entry + kEntryChecksum) ? 1 : Fail(kErrorChecksum, Destination());
}

// The uninstaller's texts part (engine/uninstaller_data.h) from the setup
// type record, which holds the chosen language's texts; the entry's own
// part holds the first language's.
int WriteUninstallerTexts(HANDLE file) {
    const char* texts[kUninstallerTextCount];
    uint16_t sizes[kUninstallerTextCount];
    uint32_t part = 6;
    for (int i = 0; i < kUninstallerTextCount; ++i) {
        texts[i] = i == kTextProductName ? LookUpText(kGroupMessages, 0) : LookUpText(kGroupUninstaller, i - 1);
        sizes[i] = uint16_t(lstrlenA(texts[i]));  // a longer text is cut, as the builder cuts it
        part += 2 + sizes[i];
    }
    uint8_t head[kLogHeaderSize] = {};
    WriteU32(head, part);
    WriteU16(head + 4, kUninstallerTextCount);
    int written = WriteAll(file, head, 6);
    for (int i = 0; i < kUninstallerTextCount && !written; ++i) {
        WriteU16(head, sizes[i]);
        written = WriteAll(file, head, 2);
        if (!written) written = WriteAll(file, texts[i], sizes[i]);
    }
    PutLogHeader(head, kLogEndTag, 0);
    return written ? written : WriteAll(file, head, kLogHeaderSize);
}

int ExtractUninstaller(const uint8_t* entry, HANDLE temporary) {
    const Body& body = g_config.uninstaller;
    if (body.data && body.size) {
        int written = WriteAll(temporary, body.data, body.size);
        if (!written && g_config.language) written = WriteUninstallerTexts(temporary);
        // Codes 2 and 3 would name this failure by texts the folder browser
        // uses as its labels: a failed write is 19 (naming the file), a
        // short one 20 (the drive is full), as for any other written file.
        if (written || g_config.language) {
            CloseFile(temporary);
            if (!written) return 1;
            return written == 3 ? Fail(kErrorDiskFull, nullptr) : Fail(kErrorDeltaWrite, Destination());
        }
        if (ArchiveIsSolid()) return ExtractSolid(entry, temporary);
        int error = ArchivePosition(ReadU32(entry + kEntryArchiveOffset));
        if (error) {
            CloseFile(temporary);
            return Fail(error, nullptr);
        }
        DecodeToFile(temporary, g_archive.handle, ReadU32(entry + kEntryStoredSize));
    }
    CloseFile(temporary);
    return 1;
}

// Decodes the archive data of `source` into the temporary file and closes
// it; a decode that goes wrong shows in the checksum, a full drive as such.
int DecodeInto(HANDLE temporary, const uint8_t* source, const uint8_t* times_of) {
    int error = ArchivePosition(ReadU32(source + kEntryArchiveOffset));
    if (!error) {
        if (DecodeToFile(temporary, g_archive.handle, ReadU32(source + kEntryStoredSize)) == kDecodeOutOfSpace)
            error = kErrorDiskFull;
        if (times_of && (times_of[kEntryFlags] & kEntryHasFileTimes)) SetFileTimes(temporary, times_of);
    }
    CloseFile(temporary);
    return error ? Fail(error, nullptr) : 1;
}

// A plain entry: its file in memory, proved against the checksum before a
// byte is written, then written with one call that must take all of it,
// and not read back. A file too large for memory is decoded into the
// temporary file and proved by reading it back.
int ExtractPlain(const uint8_t* entry, HANDLE temporary) {
    if (ArchiveIsSolid()) return ExtractSolid(entry, temporary);
    const uint8_t* bytes;
    int got = FileInMemory(entry, entry, &bytes);
    if (got < 0) return DecodeInto(temporary, entry, entry) && Verify(g_state.temporary_path, entry);
    int written = got > 0 ? WriteAll(temporary, bytes, ReadU32(entry + kEntryUnpackedSize)) : 0;
    bool full = written == 3 || (written && WriteFailedForSpace());
    if (got > 0 && !written && (entry[kEntryFlags] & kEntryHasFileTimes)) SetFileTimes(temporary, entry);
    CloseFile(temporary);
    if (!got) return 0;
    // The file was proved in memory: a write that fails is the drive's
    // fault, not the file's, and is reported as such.
    if (full) return Fail(kErrorDiskFull, nullptr);
    return written ? Fail(kErrorChecksum, Destination()) : 1;
}

// Everything one application of a delta holds; released in one place.
struct DeltaJob {
    HANDLE base = INVALID_HANDLE_VALUE;
    HANDLE output = INVALID_HANDLE_VALUE;
    char output_path[kPathSize] = "";  // set once the output file exists
    uint8_t* commands = nullptr;
    uint8_t* literals = nullptr;
    uint32_t command_size = 0;
    uint32_t literal_size = 0;
    void* buffer = nullptr;  // the copy buffer
};

void ReleaseDeltaJob(DeltaJob& job) {
    CloseFile(job.base);
    CloseFile(job.output);
    FreeAndClear(reinterpret_cast<void**>(&job.commands));
    FreeAndClear(reinterpret_cast<void**>(&job.literals));
    FreeAndClear(&job.buffer);
}

// The command item, then the literal item: 0, 12 or 18.
int ReadDeltaItems(DeltaJob& job) {
    int error = ReadArchiveItem(&job.commands, &job.command_size);
    return error ? error : ReadArchiveItem(&job.literals, &job.literal_size);
}

int WriteFailure(int written, const char* output_path) {
    return written == 3 ? Fail(kErrorDiskFull, nullptr) : Fail(kErrorDeltaWrite, output_path);
}

// The faults the walk finds: damaged commands or literals are a fault of
// the delta (19), a copy from outside the base a failed base read (18), an
// output that outgrows the entry's size a file that cannot be the entry's (21).
int WalkFailure(DeltaStatus status, const char* output_path) {
    if (status == kDeltaBaseOutside) return Fail(kErrorBaseRead, Destination());
    if (status == kDeltaOutputTooLong) return Fail(kErrorChecksum, Destination());
    return Fail(kErrorDeltaWrite, output_path);
}

// The bar within the entry's share while its delta is applied; only
// changes are reported.
struct DeltaProgress {
    int start, end, last;
    uint32_t units;
    uint64_t next;  // the output size at which the next unit begins

    DeltaProgress(const uint8_t* entry, int from, int to)
        : start(from), end(to), last(-1), units(ReadU32(entry + kEntryUnpackedSize) / kProgressUnit + 1), next(0) {}
    // The output never outgrows the entry's 32-bit size, so units and their
    // product with a share of the bar (at most 100) fit in 32 bits.
    void Report(uint64_t output_size) {
        // The bar moves only from unit to unit: the arithmetic is done then.
        if (start == end || output_size < next) return;
        uint32_t done = uint32_t(output_size) / kProgressUnit + 1;
        next = uint64_t(done) * kProgressUnit;
        int percent = start + int(done * uint32_t(end - start) / units);
        if (percent != last) SetProgress(last = percent);
    }
};

// Copies n bytes. Delta ops are mostly short: those go a word at a time
// rather than through the library's copy, whose start-up costs more.
void CopyBytes(uint8_t* to, const uint8_t* from, uint32_t n) {
    if (n > 32) {
        std::memcpy(to, from, n);
        return;
    }
    for (; n >= 4; n -= 4, to += 4, from += 4) {
        uint32_t word;
        std::memcpy(&word, from, 4);
        std::memcpy(to, &word, 4);
    }
    while (n--) *to++ = *from++;
}

// Builds a delta entry's file in memory from its base's verified bytes,
// copying straight from them, writes it into the temporary file with one
// call and proves it. Failures are those of ApplyDelta, in its order: a
// damaged delta names the output file that ApplyDelta would have written.
int BuildFromBase(const uint8_t* entry, const uint8_t* base, uint32_t base_size, uint8_t* out, HANDLE temporary,
                  DeltaProgress progress, DeltaJob& job) {
    int error = ArchivePosition(ReadU32(entry + kEntryArchiveOffset));
    if (!error) error = ReadDeltaItems(job);
    if (error) return Fail(error, nullptr);
    uint32_t size = ReadU32(entry + kEntryUnpackedSize);
    DeltaWalk walk = StartDeltaWalk(job.commands, job.command_size, job.literals, job.literal_size, base_size, size);
    DeltaOp op;
    DeltaStatus status;
    while ((status = NextDeltaOp(&walk, &op)) == kDeltaOp) {
        uint8_t* at = out + (walk.output_size - op.literal_count - op.copy_count);
        CopyBytes(at, op.literals, op.literal_count);
        CopyBytes(at + op.literal_count, base + op.base_position, op.copy_count);
        progress.Report(walk.output_size);
    }
    if (status != kDeltaEnd) {
        char output_path[kPathSize];
        ChooseFreeName(output_path, g_state.temporary_path, ".$AA");
        return WalkFailure(status, output_path);
    }
    int written = WriteAll(temporary, out, uint32_t(walk.output_size));
    if (written) return WriteFailure(written, g_state.temporary_path);
    if (entry[kEntryFlags] & kEntryHasFileTimes) SetFileTimes(temporary, entry);
    bool same = walk.output_size == size && ChecksumUpdate(0, out, size) == ReadU32(entry + kEntryChecksum);
    return same ? 1 : Fail(kErrorChecksum, Destination());
}

// A delta entry: built in memory from its base, decoded once and kept
// while later deltas need it; too large for memory, the base is decoded
// into the temporary file and the delta applied from there.
int ExtractDelta(const uint8_t* entry, HANDLE temporary, int progress_start, int progress_end) {
    const uint8_t* base = FindBaseEntry(entry);
    if (!base) {
        CloseFile(temporary);
        return Fail(kErrorCannotOpen, Destination());
    }
    uint32_t size = ReadU32(entry + kEntryUnpackedSize);
    DeltaJob job;
    const uint8_t* base_bytes;
    // The base first: finding it may let go of every buffer held so far.
    int done = size <= InMemoryFileLimit() ? FileInMemory(entry, base, &base_bytes) : -1;
    uint8_t* out = done > 0 ? BuildingRoom(size) : nullptr;
    if (done > 0 && !out) done = -1;
    if (done > 0)
        done = BuildFromBase(entry, base_bytes, ReadU32(base + kEntryUnpackedSize), out, temporary,
                             DeltaProgress(entry, progress_start, progress_end), job);
    ReleaseDeltaJob(job);
    if (done >= 0) {
        CloseFile(temporary);
        return done;
    }
    return DecodeInto(temporary, base, nullptr) && Verify(g_state.temporary_path, base) &&
           ApplyDelta(entry, g_state.temporary_path, progress_start, progress_end);
}

int RunDelta(const uint8_t* entry, const char* base_path, DeltaProgress progress, DeltaJob& job) {
    // A delta read from the wrong place could only fail later, less clearly.
    int error = ArchivePosition(ReadU32(entry + kEntryArchiveOffset));
    if (error) return Fail(error, nullptr);
    job.base = OpenForReading(base_path);
    if (job.base == INVALID_HANDLE_VALUE) return Fail(kErrorCannotOpen, base_path);
    char output_path[kPathSize];
    if (!ChooseFreeName(output_path, base_path, ".$AA")) return Fail(kErrorCannotCreate, base_path);
    job.output = CreateNewFile(output_path);
    if (job.output == INVALID_HANDLE_VALUE) return Fail(kErrorCannotCreate, output_path);
    lstrcpyA(job.output_path, output_path);

    if ((error = ReadDeltaItems(job))) return Fail(error, nullptr);
    if (!AllocRetry(&job.buffer, kDeltaCopyBufferSize)) return Fail(kErrorNoMemory, nullptr);
    uint8_t* copy = static_cast<uint8_t*>(job.buffer);

    DeltaWalk walk = StartDeltaWalk(job.commands, job.command_size, job.literals, job.literal_size,
                                    FileSize(job.base), ReadU32(entry + kEntryUnpackedSize));
    DeltaOp op;
    DeltaStatus status;
    while ((status = NextDeltaOp(&walk, &op)) == kDeltaOp) {
        int written = op.literal_count ? WriteAll(job.output, op.literals, op.literal_count) : 0;
        if (written) return WriteFailure(written, output_path);
        if (op.copy_count) {
            if (Seek(job.base, int32_t(op.base_position), FILE_BEGIN) != op.base_position ||
                ReadExactly(job.base, copy, op.copy_count) != 0)
                return Fail(kErrorBaseRead, Destination());
            written = WriteAll(job.output, copy, op.copy_count);
            if (written) return WriteFailure(written, output_path);
        }
        progress.Report(walk.output_size);
    }
    if (status != kDeltaEnd) return WalkFailure(status, output_path);

    CloseFile(job.base);
    job.base = INVALID_HANDLE_VALUE;
    if (entry[kEntryFlags] & kEntryHasFileTimes) SetFileTimes(job.output, entry);
    CloseFile(job.output);
    job.output = INVALID_HANDLE_VALUE;
    return Verify(output_path, entry);
}

void PlaceOrSchedule(uint8_t* entry, int in_use) {
    if (in_use) {
        ReplaceAtRestart(Destination(), g_state.temporary_path);
        g_state.restart_needed = true;
        return;
    }
    PlaceNow(entry, g_state.temporary_path);
}

// Moves the temporary file over the destination. On NT one call replaces
// the destination, so there is no moment at which neither file is there;
// the older platform deletes the destination first. Either way a
// destination that cannot be removed (read-only, in use, locked) stays
// as it is and the call fails.
bool MoveIntoPlace(const char* temporary, const char* destination) {
    if (g_state.is_nt) return MoveFileExA(temporary, destination, MOVEFILE_REPLACE_EXISTING) != 0;
    if (!DeleteFileA(destination) && Exists(destination)) return false;
    return MoveFileA(temporary, destination) != 0;
}

}  // namespace

uint32_t FileChecksum(HANDLE file) {
    void* block;
    if (!AllocRetry(&block, kChecksumBlockSize)) return 0;
    Seek(file, 0, FILE_BEGIN);
    uint32_t s = 0, got;
    while ((got = ReadBlock(file, static_cast<uint8_t*>(block), kChecksumBlockSize)) > 0)
        s = ChecksumUpdate(s, static_cast<uint8_t*>(block), got);
    FreeAndClear(&block);
    return s;
}

uint8_t g_kept_existing = kKeptNothing;

int NeedsInstall(const uint8_t* entry, int in_use) {
    g_kept_existing = kKeptNothing;
    if (in_use && IsSameFile(Destination(), entry)) {
        g_kept_existing = kKeptIdentical;
        return 0;
    }
    if (!(entry[kEntryFlags] & (kEntryVersionTest | kEntryLanguageTest))) return 1;
    int install = VersionTest(entry);
    if (!install) g_kept_existing = kKeptExisting;
    return install;
}

int VersionTest(const uint8_t* entry) {
    void* message;
    if (!AllocRetry(&message, kVersionQuestionSize)) return 1;
    int install = 1;
    DWORD size = VersionInfoSize(Destination());
    void* info;
    if (size && AllocRetry(&info, size)) {
        if (VersionInfo(Destination(), size, info))
            install = CompareVersions(entry, info, static_cast<char*>(message));
        FreeAndClear(&info);
    }
    FreeAndClear(&message);
    return install;
}

HANDLE CreateTemporaryFile() {
    // The folder chain makes each folder the current directory in turn, so
    // a folder that is current already exists and is left as it is, unless
    // it went away meanwhile: then the chain is made after all.
    bool current = InDestinationFolder();
    if (!current) CreateFolderChain(Destination());
    char name[kPathSize];
    g_state.temporary_path[0] = 0;
    HANDLE file = CreateFreeFile(name, Destination(), ".$$A");
    if (file == INVALID_HANDLE_VALUE && current) {
        CreateFolderChain(Destination());
        file = CreateFreeFile(name, Destination(), ".$$A");
    }
    if (file == INVALID_HANDLE_VALUE) {
        Fail(kErrorCannotCreate, name[0] ? name : Destination());
        return INVALID_HANDLE_VALUE;
    }
    lstrcpyA(g_state.temporary_path, name);
    return file;
}

int ExtractEntry(const uint8_t* entry, HANDLE temporary, int progress_start, int progress_end) {
    uint8_t flags = entry[kEntryFlags];
    if (flags & kEntryIsDelta) return ExtractDelta(entry, temporary, progress_start, progress_end);
    if (flags & kEntryIsUninstaller) return ExtractUninstaller(entry, temporary);
    return ExtractPlain(entry, temporary);
}

int ApplyDelta(const uint8_t* entry, const char* base_path, int progress_start, int progress_end) {
    DeltaJob job;
    int done = RunDelta(entry, base_path, DeltaProgress(entry, progress_start, progress_end), job);
    ReleaseDeltaJob(job);
    if (done) {
        // The output takes the base's name; a failed rename leaves no file
        // behind that someone might take for the entry's.
        DeleteFileA(base_path);
        if (MoveFileA(job.output_path, base_path)) return 1;
        Fail(kErrorCannotCreate, base_path);
    }
    if (job.output_path[0]) DeleteFileA(job.output_path);
    return 0;
}

void PlaceNow(uint8_t* entry, const char* temporary_path) {
    SetStatus(entry, kStatusRefused);
    const char* destination = Destination();
    // Where no file is yet, a move that refuses to replace anything takes
    // the name in one call; any file that is there goes the careful way.
    if (MoveFileA(temporary_path, destination)) {
        SetStatus(entry, kStatusNew);
        return;
    }
    for (;;) {
        DWORD attributes = GetFileAttributesA(destination);
        bool existed = attributes != INVALID_FILE_ATTRIBUTES;
        bool read_only = existed && (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
        if (read_only) {
            DWORD writable = attributes & ~FILE_ATTRIBUTE_READONLY;
            SetFileAttributesA(destination, writable ? writable : FILE_ATTRIBUTE_NORMAL);
        }
        if (MoveIntoPlace(temporary_path, destination)) {
            if (read_only) SetFileAttributesA(destination, GetFileAttributesA(destination) | FILE_ATTRIBUTE_READONLY);
            SetStatus(entry, existed ? kStatusReplaced : kStatusNew);
            return;
        }
        // Not replaced: the file that stays keeps its attribute.
        if (read_only) SetFileAttributesA(destination, attributes);
        if (CannotReplace(entry, temporary_path) != kAnswerRetry) return;
    }
}

int CannotReplace(uint8_t* entry, const char* temporary_path) {
    uint8_t kind = entry[kEntryDestinationKind];
    if (kind == kDestinationWindows || kind == kDestinationShared) {
        ReplaceAtRestart(Destination(), temporary_path);
        g_state.restart_needed = true;
        SetStatus(entry, kStatusReplaced);
        return kAnswerIgnore;
    }
    void* text = nullptr;
    int answer = kAnswerIgnore;
    bool identical = kind != kDestinationFonts && IsSameFile(Destination(), entry);
    if (kind != kDestinationFonts && !identical && AllocRetry(&text, kReplaceQuestionSize)) {
        SetMessageArgument(Destination());
        FormatMessageText(static_cast<char*>(text), kReplaceQuestionSize, kCannotReplaceText);
        answer = ShowMessage(static_cast<char*>(text), MB_ABORTRETRYIGNORE);
        FreeAndClear(&text);
        if (answer == IDRETRY) return kAnswerRetry;
        // Only Ignore accepts the old file: a box that could not be shown does not.
        if (answer != IDIGNORE) answer = kAnswerAbort;
    }
    DeleteFileA(temporary_path);
    SetStatus(entry, answer != kAnswerIgnore ? kStatusRefused : identical ? kStatusReplaced : kStatusKept);
    if (answer == kAnswerIgnore) g_kept_existing = identical ? kKeptIdentical : kKeptExisting;
    return answer;
}

int ExtractAndPlace(uint8_t* entry, int in_use, int progress_start, int progress_end) {
    HANDLE temporary = CreateTemporaryFile();
    bool done = temporary != INVALID_HANDLE_VALUE && ExtractEntry(entry, temporary, progress_start, progress_end);
    if (done) {
        PlaceOrSchedule(entry, in_use);
        if (ReadU16(entry + kEntryInstallStatus) == kStatusRefused) done = Fail(kErrorRefused, Destination());
    }
    // The entry is finished: its temporary file is placed, scheduled or
    // deleted, and nobody may delete it by its name later.
    if (!done && g_state.temporary_path[0]) DeleteFileA(g_state.temporary_path);
    g_state.temporary_path[0] = 0;
    return done ? 1 : 0;
}
