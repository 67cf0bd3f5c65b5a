// The files of a setup set on disk: the setup file and its volume files,
// named as the setup program names them (the setup file's extension
// replaced by ".D" and the volume number written with at least two digits).
#pragma once
#include <filesystem>
#include <vector>

#include "builder/manifest/product.h"

// Volume k's file beside the setup file: setup.exe -> setup.D01, setup ->
// setup.D01, setup.exe with k = 100 -> setup.D100.
std::filesystem::path VolumePath(const std::filesystem::path& setup, size_t k);

// The volume number of a file named like a volume of this setup file, or 0.
size_t VolumeNumberOf(const std::filesystem::path& setup, const std::filesystem::path& file);

// Writes the setup file and volumes 1, 2, ... beside it, then removes the
// volume files of an earlier build that the new set does not have. Every
// file is written under a temporary name first and renamed only when all
// were written, so a failure leaves no new file and removes nothing.
// Throws BuildError.
void WriteSetupSet(const std::filesystem::path& setup, const Bytes& setup_bytes, const std::vector<Bytes>& volumes);
