// `kiln build`, `kiln inspect`, `kiln verify` and `kiln extract`: making a
// setup file from a manifest, and reading one back.
#pragma once
#include <CLI/CLI.hpp>

void AddBuildCommand(CLI::App& app, int& status);
void AddInspectCommand(CLI::App& app, int& status);
void AddVerifyCommand(CLI::App& app, int& status);
void AddExtractCommand(CLI::App& app, int& status);
