// The bodies of the package records that describe a setup type: the setup
// type record with its string table, the file list, the INI, registry and
// file patch tables, and the values of its uninstall entry.
#pragma once
#include <cstdint>

#include "builder/manifest/product.h"

// What the archive and the source file tell about one file list entry.
struct ArchivedFile {
    uint32_t archive_offset = 0;
    uint32_t stored_size = 0;
    uint32_t unpacked_size = 0;
    uint32_t checksum = 0;
    uint32_t version_ms = 0, version_ls = 0, product_ms = 0, product_ls = 0;
    uint16_t language = 0;
    uint64_t creation = 0, last_access = 0, last_write = 0;  // FILETIME values
    // A delta entry: its data is a delta against the stream of this base,
    // the file at base_ordinal in setup type base_type's file list.
    bool delta = false;
    uint16_t base_type = 0;
    uint32_t base_ordinal = 0;
};

Bytes SetupTypeRecord(const ProductType& type);
// type_index: the setup type whose file list holds the entry; a delta entry
// names its base's setup type instead.
Bytes FileListEntry(const ProductFile& file, const ArchivedFile& archived, uint16_t type_index);
Bytes FileList(const std::vector<Bytes>& entries);
Bytes IniTable(const std::vector<IniEntry>& entries);
Bytes RegistryTable(const std::vector<RegistryEntry>& entries);
Bytes PatchTable(const std::vector<PatchEntry>& entries);
Bytes UninstallValuesBody(const UninstallValues& values);
