// `kiln pack-stub`: packs the linked setup program (builder/program/stub_packer.h);
// the build runs it after linking.
#pragma once
#include <CLI/CLI.hpp>

void AddPackStubCommand(CLI::App& app, int& status);
