// The layout of a setup file's package: record tags and headers, the setup
// type record, string groups, file list entries and the start page record.
// Everything is little-endian; these helpers read it from unaligned bytes.
#pragma once
#include <cstdint>
#include <cstddef>
#include <cstring>

inline uint16_t ReadU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t ReadU32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
inline void WriteU16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void WriteU32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }

// Record tags.
enum : uint16_t {
    kTagSetupFlags = 0x1234,
    kTagSidePicture = 0x1235,
    kTagBackgroundPicture = 0x1236,
    kTagBackgroundTitle = 0x1237,
    kTagDialogTemplates = 0x1239,
    kTagFileList = 0x123A,
    kTagStartPage = 0x123B,
    kTagBackgroundDescription = 0x123D,
    kTagSetupType = 0x123E,
    kTagUninstaller = 0x123F,
    kTagIniEntries = 0x1240,
    kTagRegistryEntries = 0x1241,
    kTagFilePatches = 0x1242,
    kTagUninstallValues = 0x1243,
    kTagIntegrity = 0x1260,  // whole-file check (package/integrity.h); passed over as an unknown tag
    kTagArchive = 0x7F7F,
};

// Records that belong to the setup type read last.
inline bool IsPerTypeTag(uint16_t tag) {
    return tag == kTagFileList || tag == kTagIniEntries || tag == kTagRegistryEntries || tag == kTagFilePatches ||
           tag == kTagUninstallValues;
}

// How the loader reads a record. A record of stored size 0 is not read at
// all, whatever its tag: its slot stays empty, a setup type record of size
// 0 starts no setup type, and an archive record of size 0 ends the package.
enum RecordUse {
    kRecordSkipped,    // unknown tag (0x1238 among them): passed over, compressed or not
    kRecordRawFields,  // setup flags, start page: 4 bytes read as they stand, whatever the flags say
    kRecordSetupType,  // starts a new setup type
    kRecordPerType,    // belongs to the setup type read last
    kRecordLoaded,     // a single body: pictures, texts, templates, the uninstaller
    kRecordArchive,    // the file archive; the last record read
};
inline RecordUse UseOfRecord(uint16_t tag) {
    switch (tag) {
    case kTagSetupFlags:
    case kTagStartPage: return kRecordRawFields;
    case kTagSetupType: return kRecordSetupType;
    case kTagArchive: return kRecordArchive;
    case kTagSidePicture:
    case kTagBackgroundPicture:
    case kTagBackgroundTitle:
    case kTagDialogTemplates:
    case kTagBackgroundDescription:
    case kTagUninstaller: return kRecordLoaded;
    default: return IsPerTypeTag(tag) ? kRecordPerType : kRecordSkipped;
    }
}
// Bytes of a raw-fields record: the u32 setup flags, or the u16 start page
// and the u16 initial setup type.
constexpr uint32_t kRawFieldsSize = 4;

// Record header: u16 tag, u8 flags (bit 0: body compressed), u8 reserved, u32 stored size.
constexpr uint32_t kRecordHeaderSize = 8;
constexpr uint8_t kRecordCompressed = 0x01;

constexpr int kMaxSetupTypes = 6;
constexpr uint32_t kPathSize = 260;

// Setup flags (record 0x1234).
constexpr uint32_t kSetupFullScreen = 0x01;
constexpr uint32_t kSetupRemoveOtherTypes = 0x10;
// Kiln's own: each progress tick installs entries until its time budget is
// used, instead of one entry per tick.
constexpr uint32_t kSetupTimedSteps = 0x100;
// Kiln's own: the package carries an integrity record (package/integrity.h),
// which a setup file with this flag must not lack.
constexpr uint32_t kSetupIntegrityRecord = 0x8000;

// Setup type record (record 0x123E): field offsets.
enum : uint32_t {
    kTypeOptions = 0,
    kTypeUninstallKey = 4,
    kTypeDisplayName = 8,
    kTypeDefaultFolder = 12,
    kTypeRegistryRoot = 16,
    kTypeRegistryKey = 20,
    kTypeRegistryValue = 24,
    kTypeIniFile = 28,
    kTypeIniSection = 32,
    kTypeIniKey = 36,
    kTypeStringGroups = 40,  // 11 x u32, groups 0 to 10
    kTypeFixedSize = 84,
};
constexpr int kStringGroupCount = 11;
// Setup type options.
constexpr uint16_t kOptionFolderEditable = 0x2;
constexpr uint16_t kOptionRememberInRegistry = 0x4;
constexpr uint16_t kOptionRememberInIni = 0x8;

// String groups by use.
enum : int {
    kGroupWelcome = 0,
    kGroupInformation = 1,
    kGroupDestination = 2,
    kGroupReady = 3,
    kGroupProgress = 4,
    kGroupFinish = 5,
    kGroupMessages = 6,
    kGroupButtons = 7,
    kGroupSetupTypes = 9,
    kGroupUninstaller = 10,  // not read by the setup program: copied into Kiln's uninstaller
};
constexpr int kMessagePackageDamaged = 31;
constexpr int kMessageLanguageRefused = 33;  // format, one string: the /LANG switch's tag

// File list (record 0x123A): u32 entry count, then entries of these fields.
enum : uint32_t {
    kEntrySize = 0,
    kEntryInstallStatus = 2,
    kEntryIconIndex = 4,
    kEntryArchiveOffset = 6,
    kEntryStoredSize = 10,
    kEntryUnpackedSize = 14,
    kEntryChecksum = 18,
    kEntryFlags = 22,
    kEntryDestinationKind = 23,
    kEntryRole = 24,
    kEntrySharedCount = 25,
    kEntryPlacement = 26,
    kEntryInstallAction = 27,
    kEntrySetupType = 28,
    kEntryBaseOrdinal = 30,
    kEntryFixedSize = 34,
    kEntryVersionBlockSize = 20,
    kEntryFileTimesSize = 24,
};
constexpr uint32_t kFileListHeaderSize = 4;
// Entry flags.
constexpr uint8_t kEntryIsUninstaller = 0x01;
constexpr uint8_t kEntryVersionTest = 0x02;
constexpr uint8_t kEntryLanguageTest = 0x04;
constexpr uint8_t kEntryHasFileTimes = 0x08;
constexpr uint8_t kEntryIsDelta = 0x10;
// Destination kinds (kEntryDestinationKind).
enum : uint8_t { kDestinationFolder = 0, kDestinationWindows = 1, kDestinationShared = 2, kDestinationFonts = 3 };
// Placements (kEntryPlacement).
enum : uint8_t { kPlacementKept = 0, kPlacementRemoved = 1, kPlacementBesideSetup = 2, kPlacementFolder = 3 };
// Entries whose file is extracted from the archive: every placement but a
// file beside the setup file and a folder to create, values above 3 too.
inline bool PlacementIsExtracted(uint8_t placement) {
    return placement != kPlacementBesideSetup && placement != kPlacementFolder;
}
constexpr int kEntryStringCount = 6;  // file name, group folder, group shortcut and arguments, desktop shortcut and arguments

// Where an entry's strings begin: after the fixed part and the optional blocks.
inline uint32_t EntryStringsOffset(uint8_t flags) {
    uint32_t at = kEntryFixedSize;
    if (flags & (kEntryVersionTest | kEntryLanguageTest)) at += kEntryVersionBlockSize;
    if (flags & kEntryHasFileTimes) at += kEntryFileTimesSize;
    return at;
}

// Uninstall entry values (record 0x1243, per setup type, optional): what the
// uninstall entry shows besides its display name and uninstall command. A
// u32 of flags, then three texts, each empty when its value is not written:
// display version, publisher, display icon (install variables expanded).
// A setup program that does not know the record skips it by its tag.
enum : uint32_t {
    kUninstallValuesFlags = 0,
    kUninstallValuesFixedSize = 4,
};
constexpr int kUninstallValuesTextCount = 3;
constexpr uint32_t kUninstallInstallLocation = 0x01;  // the destination folder
constexpr uint32_t kUninstallEstimatedSize = 0x02;    // KiB of the installed files
constexpr uint32_t kUninstallNoModify = 0x04;
constexpr uint32_t kUninstallNoRepair = 0x08;
constexpr uint32_t kUninstallQuietString = 0x10;  // "uninstaller" /QUIET

// Dialog template numbers.
enum : int {
    kTemplateMainFramed = 0,
    kTemplateMainFullScreen = 1,
    kTemplateDestination = 2,
    kTemplateInformation = 3,
    kTemplateProgress = 4,
    kTemplateWelcomeReady = 5,
    kTemplateFinish = 6,
    kTemplateFolderBrowser = 7,
    kTemplateSetupTypes = 8,
    kTemplateCount = 9,
};

// The patch block the builder fills in: marker, then the stub length.
constexpr uint8_t kPatchMarker[6] = {0x77, 0x77, 0x67, 0x54, 0x29, 0x48};  // "wwgT)H"
constexpr uint32_t kPatchBlockSize = 10;

// Where the next patch block at or after `from` lies in a file's bytes, or
// `size` when there is none. The stub comes first, so a setup file's first
// block is its own.
inline size_t FindPatchBlock(const uint8_t* data, size_t size, size_t from = 0) {
    for (size_t i = from; i + kPatchBlockSize <= size; ++i)
        if (std::memcmp(data + i, kPatchMarker, sizeof kPatchMarker) == 0) return i;
    return size;
}
inline uint32_t PatchedStubLength(const uint8_t* block) { return ReadU32(block + sizeof kPatchMarker); }

// ---------------------------------------------------------------------------
// Bodies the setup program draws or hands to the system. They are checked
// against their length when loaded (package/package_validate.h).

// Pictures (records 0x1235, 0x1236): the image of a BMP file. A 14-byte file
// header (ignored), a BITMAPINFOHEADER, the colour table, then the bits.
constexpr uint32_t kBitmapFileHeaderSize = 14;
enum : uint32_t {  // BITMAPINFOHEADER fields, from the header's first byte
    kBitmapHeaderSize = 0,
    kBitmapWidth = 4,
    kBitmapHeight = 8,
    kBitmapPlanes = 12,
    kBitmapBitCount = 14,
    kBitmapCompression = 16,
    kBitmapColoursUsed = 32,
    kBitmapInfoHeaderSize = 40,
};
// Entries of a bitmap's colour table (4 bytes each): the colours used when
// given, else a full table for 1, 4 and 8 bits per pixel, none above.
inline uint32_t ColourTableEntries(uint16_t bit_count, uint32_t colours_used) {
    if (colours_used) return colours_used;
    return bit_count == 1 || bit_count == 4 || bit_count == 8 ? 1u << bit_count : 0;
}

// Background description (record 0x123D): shadow colour, text colour, LOGFONTA.
enum : uint32_t {
    kDescriptionShadowColour = 0,
    kDescriptionTextColour = 4,
    kDescriptionFont = 8,
    kDescriptionFaceName = 8 + 28,  // LOGFONTA.lfFaceName
    kFaceNameSize = 32,
    kDescriptionSize = 68,
};

// A dialog template is copied from its offset to the end of the template
// table into a block of this size; no template may lie further from the end.
constexpr uint32_t kTemplateCopySize = 16384;
