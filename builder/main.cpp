// kiln: the builder for the setup program. Each subcommand lives in its own
// source file and adds itself here through one entry in kCommands.
#include <CLI/CLI.hpp>

#include "builder/codec_commands.h"
#include "builder/package_commands.h"
#include "builder/pack_stub_command.h"
#include "builder/sign_command.h"

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

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"kiln: builds self-extracting setup programs for 32-bit Windows"};
    app.require_subcommand(1);
    int status = 0;
    for (AddCommand add : kCommands) add(app, status);
    CLI11_PARSE(app, argc, argv);
    return status;
}
