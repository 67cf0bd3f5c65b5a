// Checks of loaded record bodies against their own length. A setup file may
// be truncated, damaged or made to mislead, so every body that the program
// reads by offsets, counts or terminators is checked once, when it is
// loaded, and nothing reads it before. A body that passes can be walked with
// the plain readers (string_groups.h, file_list.h, entry_tables.h) without
// any read outside it. Each check returns false for a null body.
#pragma once
#include <cstdint>

// Setup type record: the fixed part; every text offset that is not 0 lies
// after the fixed part with its terminator inside the record; every string
// group that is not absent lies after the fixed part and holds its count of
// terminated texts inside the record.
bool ValidateSetupTypeRecord(const uint8_t* data, uint32_t size);

// File list: the u32 count, then that many entries, each of a size that
// covers its fixed part, its optional blocks and six texts terminated inside
// the entry, and that stays inside the body. Bytes after the last entry are
// not read and are allowed.
bool ValidateFileList(const uint8_t* data, uint32_t size);

// INI, registry and file patch tables: the u16 count, then that many entries
// whose fixed fields, terminated texts and (for patches) pattern bytes lie
// inside the body. A pattern longer than kPatchMaxPattern is refused: the
// search window could not hold it.
bool ValidateIniTable(const uint8_t* data, uint32_t size);
bool ValidateRegistryTable(const uint8_t* data, uint32_t size);
bool ValidatePatchTable(const uint8_t* data, uint32_t size);

// Dialog template table: an offset for each of the first `required_count`
// templates. Each offset lies after the offset array and no more than
// kTemplateCopySize bytes before the end of the body (the template is copied
// from there to the end into a block of that size). Each template, plain
// DLGTEMPLATE or DLGTEMPLATEEX, is read as the dialog manager reads it:
// header, menu, class, title, the font when DS_SETFONT asks for one, then
// every item with its class, title and creation data, all inside the body.
bool ValidateDialogTemplateTable(const uint8_t* data, uint32_t size, int required_count);

// The identifiers of a single template's controls, in template order, into
// ids (at most capacity of them); returns the number of controls, or
// kUnsoundTemplate when the template does not hold together.
constexpr uint32_t kUnsoundTemplate = 0xFFFFFFFF;
uint32_t ReadDialogControlIds(const uint8_t* data, uint32_t size, uint16_t* ids, uint32_t capacity);

// Picture (side or background): file header, a 40-byte BITMAPINFOHEADER,
// the colour table and every row of bits inside the body. Only what the
// drawing can show is accepted: positive width and height (a top-down or
// empty bitmap would never finish tiling), one plane, 1, 4, 8, 16, 24 or 32
// bits per pixel, uncompressed, and at most 2^bits colours when
// palette-based.
bool ValidatePicture(const uint8_t* data, uint32_t size);

// Background description: both colours and the whole LOGFONTA, whose face
// name is terminated inside its 32 bytes.
bool ValidateBackgroundDescription(const uint8_t* data, uint32_t size);

// Background title: one text, terminated inside the body.
bool ValidateBackgroundTitle(const uint8_t* data, uint32_t size);

// Uninstall entry values: the flags and three texts terminated inside the body.
bool ValidateUninstallValues(const uint8_t* data, uint32_t size);

// The check for a record of this tag; true for records that are not read by
// offsets or terminators (the uninstaller) and for tags the loader skips.
bool ValidateRecordBody(uint16_t tag, const uint8_t* data, uint32_t size);

// The entry a delta entry is built from: entry `base ordinal` of the file
// list of setup type `setup type index`. lists[k] is setup type k's file
// list, validated, or null when it has none. Null when there is no such
// entry.
const uint8_t* FindDeltaBase(const uint8_t* const* lists, int type_count, const uint8_t* delta);

// Every delta entry of every list names a base that exists and is not a
// delta entry itself, so that the setup program can build it.
bool DeltaBasesAreSound(const uint8_t* const* lists, int type_count);
