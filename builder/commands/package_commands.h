// `kiln build`, `kiln inspect`, `kiln verify` and `kiln extract`: making a
// setup file from a manifest, and reading one back.
#pragma once
#include <CLI/CLI.hpp>

#include <filesystem>
#include <vector>

void AddBuildCommand(CLI::App& app, int& status);
void AddInspectCommand(CLI::App& app, int& status);
void AddVerifyCommand(CLI::App& app, int& status);
void AddExtractCommand(CLI::App& app, int& status);

// Where kiln looks, in order, for a Windows program it puts into setup files
// (name: kiln-stub.exe, kiln-uninstall.exe, ...) when no option names one:
// beside itself; in win32/ or win64/ beside itself (the Windows archive); in
// ../win32 or ../win64 (build/host beside the Windows build trees); in
// ../share/kiln/win32 or win64 (an install tree, wherever it was copied).
std::vector<std::filesystem::path> ProgramPlaces(const char* name, bool x64);

// The program `kiln build` takes when no option names it: the one the
// environment variable names, else the first of ProgramPlaces that exists;
// empty when there is none.
std::filesystem::path DefaultProgram(const char* variable, const char* name, bool x64);
