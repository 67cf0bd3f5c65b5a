// `kiln extract`: the files of one setup type written into a folder.
#include <filesystem>

#include "builder/commands/existing_file.h"
#include "builder/commands/package_commands.h"
#include "builder/reading/setup_extractor.h"
#include "builder/system/file_system.h"

void AddExtractCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("extract",
                                   "Write the files of one setup type into a folder as the setup program would "
                                   "install them (deltas applied, volume files read, checksums proved)");
    static std::string path, folder;
    static int type = -1;
    cmd->add_option("setup", path, "The setup file")->required()->check(kExistingFile);
    cmd->add_option("-o,--output", folder, "The folder to write into (default: the setup file's name without its "
                                           "extension, in the current folder)");
    cmd->add_option("--type", type, "The setup type, counted from 0 as kiln inspect lists them (default: the one "
                                    "the package selects first)")
        ->check(CLI::NonNegativeNumber);
    cmd->callback([&status] {
        if (folder.empty()) folder = Utf8Name(Utf8Path(path).stem());
        status = ExtractSetup(path, folder, type);
    });
}
