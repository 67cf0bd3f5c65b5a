// kiln: the builder for the setup program. Each subcommand lives in its own
// source file and adds itself here through one entry in kCommands.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>

#include "builder/commands/codec_commands.h"
#include "builder/commands/package_commands.h"
#include "builder/commands/pack_stub_command.h"
#include "builder/commands/sign_command.h"
#include "builder/manifest/target_rules.h"
#include "builder/system/file_system.h"
#include "package/package_format.h"

namespace {

using AddCommand = void (*)(CLI::App& app, int& status);

const AddCommand kCommands[] = {
    AddEncodeCommand,
    AddDecodeCommand,
    AddBuildCommand,
    AddInspectCommand,
    AddVerifyCommand,
    AddExtractCommand,
    AddPackStubCommand,
    AddSignCommand,
};

// The size of the program `kiln build` would take, or "not found".
std::string ProgramSize(const char* variable, const char* name, bool x64) {
    std::error_code ec;  // also for an empty path: nothing found
    uintmax_t size = std::filesystem::file_size(DefaultProgram(variable, name, x64), ec);
    return ec ? "not found" : std::to_string(size) + " bytes";
}

// The builder's release (the project's version in CMake), the newest record
// of the setup file format it writes, and the Windows programs it would put
// into setup files, so that a report of a problem says what made the file.
std::string VersionText() {
    char head[128];
    std::snprintf(head, sizeof head, "kiln %s (setup file format with the integrity record 0x%04X)", KILN_VERSION,
                  unsigned(kTagIntegrity));
    std::string text = head;
    for (bool x64 : {false, true})
        text += std::string("\n") + (x64 ? "x64" : "x86") + ": setup program " +
                ProgramSize("KILN_STUB", "kiln-stub.exe", x64) + ", uninstaller " +
                ProgramSize("KILN_UNINSTALLER", "kiln-uninstall.exe", x64);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    UseUtf8Arguments(argc, argv);
    CLI::App app{"kiln: builds self-extracting setup programs for 32-bit and 64-bit Windows"};
    app.require_subcommand(1);
    app.set_version_flag("--version", VersionText);
    int status = 0;
    for (AddCommand add : kCommands) add(app, status);
    // A mistyped subcommand gets the nearest one rather than CLI11's
    // "A subcommand is required".
    if (argc > 1 && argv[1][0] != '-') {
        std::vector<std::string> names;
        for (const CLI::App* sub : app.get_subcommands({})) names.push_back(sub->get_name());
        if (std::find(names.begin(), names.end(), argv[1]) == names.end()) {
            std::string near = Suggestion(argv[1], names);
            std::fprintf(stderr, "kiln: '%s' is no subcommand%s; run kiln --help for the list\n", argv[1],
                         near.empty() ? "" : (" (did you mean '" + near + "'?)").c_str());
            return int(CLI::ExitCodes::ExtrasError);
        }
    }
    CLI11_PARSE(app, argc, argv);
    return status;
}
