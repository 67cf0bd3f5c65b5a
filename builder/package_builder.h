// Turns a product into a setup file: the stub with its patch block filled
// in, the package records, and the file archive.
#pragma once
#include <functional>
#include <stdexcept>
#include <string>

#include "builder/product.h"

struct BuildError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct BuildProgress {
    // Called before each archived file: files done so far, files in all, its source.
    std::function<void(size_t done, size_t total, const std::string& source)> on_file;
};

// Throws BuildError naming what is wrong (a missing source file, a stub
// without its patch block, a file too large for the format).
Bytes BuildSetupFile(const Product& product, const Bytes& stub, const BuildProgress& progress = {});

// Appends one record: compressed when that makes it smaller.
void AppendRecord(Bytes& out, uint16_t tag, const Bytes& body, int level);
