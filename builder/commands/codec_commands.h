// `kiln encode` and `kiln decode`: raw compressed streams of the setup
// program's format, read from standard input and written to standard output.
#pragma once
#include <CLI/CLI.hpp>

// Each adds its subcommand to the app; when the subcommand runs, its exit
// status goes to `status`.
void AddEncodeCommand(CLI::App& app, int& status);
void AddDecodeCommand(CLI::App& app, int& status);
