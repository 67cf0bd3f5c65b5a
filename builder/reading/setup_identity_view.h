// What a setup file shows of itself before it runs, read back from its
// program's resources for `kiln inspect`: the version resource's numbers
// and texts, the images of the icon Explorer shows, and the execution
// level the elevation prompt follows.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "builder/manifest/product.h"

struct IconImageView {
    uint32_t width = 0, height = 0;  // 256 where the group says 0
    uint16_t bit_count = 0;
    uint32_t bytes = 0;
};

struct SetupIdentityView {
    std::string file_version, product_version;  // "1.2.3.4" from the fixed information; "" without one
    std::vector<std::pair<std::string, std::string>> version_texts;  // name, value in UTF-8, as stored
    std::vector<IconImageView> icon;  // of the setup program's icon group; empty without one
    std::string execution_level;      // the application manifest's requestedExecutionLevel; "" without
};

// Throws BuildError when the program's resource tree cannot be read; a
// damaged version resource or icon group yields what could be read of it.
SetupIdentityView ReadSetupIdentity(const Bytes& program);
