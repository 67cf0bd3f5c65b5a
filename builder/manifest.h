// Reads a product manifest (TOML) into a complete product: defaults for
// everything the author leaves out, source paths made absolute against the
// manifest's folder. Mistakes are reported with the file, line and key.
#pragma once
#include <stdexcept>
#include <string>

#include "builder/product.h"

struct ManifestError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

Product LoadManifest(const std::string& path);
