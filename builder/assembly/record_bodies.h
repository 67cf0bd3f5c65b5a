// The bodies of the package records that describe a setup type: the setup
// type record with its string table, the file list, the INI, registry and
// file patch tables, and the values of its uninstall entry.
#pragma once
#include <cstdint>

#include "builder/archive/archived_file.h"
#include "builder/manifest/product.h"

// With `texts`, the record carries those in place of the type's own: the
// record of another language (package/setup_languages.h).
Bytes SetupTypeRecord(const ProductType& type, const StringTable* texts = nullptr);
// type_index: the setup type whose file list holds the entry; a delta entry
// names its base's setup type instead.
Bytes FileListEntry(const ProductFile& file, const ArchivedFile& archived, uint16_t type_index);
Bytes FileList(const std::vector<Bytes>& entries);
Bytes IniTable(const std::vector<IniEntry>& entries);
Bytes RegistryTable(const std::vector<RegistryEntry>& entries);
Bytes PatchTable(const std::vector<PatchEntry>& entries);
Bytes UninstallValuesBody(const UninstallValues& values);
