// Reads a Windows executable's version resource: the file version and the
// language of its first translation, as the setup program's version and
// language tests read them from an installed file.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

struct PeVersion {
    uint32_t file_version_ms = 0, file_version_ls = 0;
    uint32_t product_version_ms = 0, product_version_ls = 0;
    std::optional<uint16_t> language;  // from \VarFileInfo\Translation
};

// Nothing when the bytes are not a PE file with a version resource.
std::optional<PeVersion> ReadPeVersion(const std::vector<uint8_t>& file);
