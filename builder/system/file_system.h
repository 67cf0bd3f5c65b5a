// What kiln needs of the system it runs on, the same on Linux and Windows.
// Texts in kiln are UTF-8 everywhere: file names go through Utf8Path and
// Utf8Name, never through path's own narrow conversions, which on Windows
// use the ANSI code page.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

std::filesystem::path Utf8Path(const std::string& utf8);
std::string Utf8Name(const std::filesystem::path& path);

// The files in a folder, with recursive those in its sub-folders too (not
// through links to folders), as paths relative to it, in no set order.
// On Windows also past MAX_PATH, which the C runtime's listing keeps to.
std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder, bool recursive);

// A file's last write time as a FILETIME (100 ns units since 1601), or
// nothing when it cannot be read.
std::optional<uint64_t> LastWriteFileTime(const std::filesystem::path& path);
// Sets a file's last access and last write times (FILETIMEs), not following
// a symbolic link; false when that fails.
bool SetFileTimes(const std::filesystem::path& path, uint64_t last_access, uint64_t last_write);

// The folder of the running kiln program; empty when unknown.
std::filesystem::path ExecutableFolder();

// True when standard error is a terminal (for the progress bar).
bool ErrorsGoToTerminal();

// Makes argv UTF-8 and the console print UTF-8: on Windows the arguments
// are taken again from the wide command line; elsewhere nothing changes.
void UseUtf8Arguments(int& argc, char**& argv);
