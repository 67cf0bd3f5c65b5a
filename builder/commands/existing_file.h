// The check for a file argument: CLI11's own reads the name in the ANSI
// code page on Windows, where kiln's arguments are UTF-8.
#pragma once
#include <CLI/CLI.hpp>

extern const CLI::Validator kExistingFile;
