// Inputs for the package tests: a stand-in stub, a scratch folder that
// removes itself, generated payloads, and the example product with its
// files replaced.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "builder/manifest/product.h"

// Some bytes around an unpatched patch block.
Bytes FakeStub();

// Deterministic incompressible bytes.
Bytes Noise(size_t size, uint32_t seed);

// A folder of its own under the system's temporary folder, removed with
// everything in it at the end of the test.
struct ScratchFolder {
    std::filesystem::path dir;
    ScratchFolder();
    ~ScratchFolder();
    std::filesystem::path Write(const std::string& name, const Bytes& bytes) const;
};

// A file to install from source, under the given target name.
ProductFile FileFrom(const std::filesystem::path& source, const std::string& target);

// The example product (texts, dialogs, two setup types) with these files.
Product ProductWith(std::vector<std::vector<ProductFile>> files_by_type);

// A DLL of the system's 32-bit Windows DLL folder; "" when it is not there.
std::string SystemDll(const std::string& name);
