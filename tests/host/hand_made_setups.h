// Setup files changed by hand in ways that the setup program's loader and
// install engine accept and install correctly, each made from a setup file
// that kiln built. The native tests check that kiln inspect and kiln verify
// accept them; the hand_made_setups program writes them for the installs
// under Wine.
#pragma once
#include <vector>

#include "builder/manifest/product.h"

struct HandMadeSetup {
    const char* name;
    // Throws std::runtime_error when the setup file lacks what the change
    // needs (a folder entry, the uninstaller, a delta entry in this file).
    Bytes (*make)(const Bytes& setup);
    const char* warning;  // part of the warning kiln gives about it; "" for none
};

const std::vector<HandMadeSetup>& HandMadeSetups();

// A setup file changed after it was built, with its integrity record and
// PE checksum made to fit it again, as if a builder had written it so.
Bytes Resealed(Bytes setup);
