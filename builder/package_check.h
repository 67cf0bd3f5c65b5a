// What `kiln inspect` and `kiln verify` share: the setup types of a setup
// file read back, each body checked as the setup program checks it.
#pragma once
#include <string>
#include <vector>

#include "builder/setup_reader.h"

struct TypeView {
    const ReadRecord* record = nullptr;  // setup type record
    const ReadRecord* file_list = nullptr;
    const ReadRecord* ini = nullptr;
    const ReadRecord* registry = nullptr;
    const ReadRecord* patches = nullptr;
    const ReadRecord* uninstall_values = nullptr;
    bool sound = false;  // the record and every table of the type passed their checks
};

struct PackageView {
    SetupFileView file;
    std::vector<TypeView> types;
    std::vector<std::string> problems;  // the file's own and every unsound body's
};

// Given the setup file's path, its volume files are read as well.
PackageView CheckPackage(const Bytes& setup_file, const std::string& setup_path = {});

// The package's problems, then every archived file that does not decode to
// its size and checksum: a plain file from its stream, a delta entry by
// decoding its base, reading its two items and applying them. An archive
// that ends before the data the file lists use is one fault, naming the
// volume file that is missing. *checked counts the files decoded.
std::vector<std::string> VerifyPackage(const PackageView& v, size_t* checked);
const char* TagName(uint16_t tag);
