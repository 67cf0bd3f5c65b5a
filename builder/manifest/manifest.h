// Reads a product manifest (TOML) into a complete product: defaults for
// everything the author leaves out, source paths made absolute against the
// manifest's folder. Mistakes are reported with the file, line and key.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "builder/manifest/product.h"

// One mistake, or every mistake a manifest holds, in line order: what()
// gives them one a line, `problems` one each.
struct ManifestError : std::runtime_error {
    explicit ManifestError(const std::string& problem) : std::runtime_error(problem), problems{problem} {}
    explicit ManifestError(const std::vector<std::string>& all) : std::runtime_error(Lines(all)), problems(all) {}
    std::vector<std::string> problems;

private:
    static std::string Lines(const std::vector<std::string>& all) {
        std::string text;
        for (const std::string& p : all) text += (text.empty() ? "" : "\n") + p;
        return text;
    }
};

// Values for ${name} in the manifest's text (kiln build -D name=value).
using Defines = std::map<std::string, std::string>;
// "name=value" texts as given on the command line.
Defines ParseDefines(const std::vector<std::string>& given);

// *warnings, when given, receives what builds but is likely a mistake
// (an empty setup type), each as "file:line: key: problem".
Product LoadManifest(const std::string& path, std::vector<std::string>* warnings = nullptr, const Defines& defines = {});

// A size as "1457664", "1440K" or "2M" (K and M count 1024), in bytes.
std::optional<uint64_t> SizeWithUnit(const std::string& text);
// What a 1.44 MB floppy disk holds: 2847 sectors of 512 bytes, the rest of
// its 2880 taken by the boot sector, FATs and root folder.
constexpr uint64_t kFloppyBytes = 1457664;
