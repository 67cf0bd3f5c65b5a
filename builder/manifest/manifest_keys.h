// Every table of a manifest and the keys it may hold: the one list the
// reader checks keys against, and that docs/manifest.md is tested against.
// A new key is one more line here (and a row in the documentation).
#pragma once
#include <string>
#include <vector>

struct ManifestKey {
    const char* table;  // "" the top level; "type.file" every [[type.file]] of every [[type]]
    const char* key;    // "*": any key (the texts tables, whose keys are text ids)
};

extern const std::vector<ManifestKey> kManifestKeys;

// The keys of one table, as listed.
std::vector<std::string> KeysOf(const std::string& table);
