// kiln: the builder for the setup program. Each subcommand lives in its own
// source file and adds itself here through one entry in kCommands.
#include <CLI/CLI.hpp>

#include "builder/commands/codec_commands.h"
#include "builder/commands/package_commands.h"
#include "builder/commands/pack_stub_command.h"
#include "builder/commands/sign_command.h"
#include "builder/manifest/target_rules.h"
#include "builder/system/file_system.h"

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

// The builder's own release, and the newest record of the setup file
// format it writes (the integrity record).
const char kVersion[] = "kiln 1.0 (setup file format with the integrity record 0x1260)";

}  // namespace

int main(int argc, char** argv) {
    UseUtf8Arguments(argc, argv);
    CLI::App app{"kiln: builds self-extracting setup programs for 32-bit Windows"};
    app.require_subcommand(1);
    app.set_version_flag("--version", kVersion);
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
