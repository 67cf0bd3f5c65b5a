#include <cstdio>
#include <fstream>
#include <iterator>

#include "builder/commands/existing_file.h"
#include "builder/reading/package_check.h"
#include "builder/commands/package_commands.h"
#include "builder/commands/sign_command.h"

void AddVerifyCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("verify",
                                   "Decode every archived file of a setup file and its volume files (setup.D01, ...) "
                                   "and check its checksum, and the whole-file CRCs of the setup file and its volume files");
    static std::string path;
    cmd->add_option("setup", path, "The setup file")->required()->check(kExistingFile);
    cmd->callback([&status] {
        Bytes bytes = ReadWholeFile(path);
        PackageView v = CheckPackage(bytes, path);
        size_t checked = 0;
        std::vector<std::string> warnings;
        std::vector<std::string> faults = VerifyPackage(v, &checked, &warnings);
        for (const std::string& w : warnings) std::fprintf(stderr, "kiln verify: warning: %s\n", w.c_str());
        for (const std::string& f : faults) std::fprintf(stderr, "kiln verify: %s\n", f.c_str());
        if (faults.empty()) {
            std::string signer = v.file.holds_signature ? SignerSubject(path) : "";
            std::printf("%s: %zu files verified, %zu volume file(s), %s, %s\n", path.c_str(), checked,
                        v.file.volumes.size(), v.file.holds_signature ? "signed" : "unsigned",
                        v.file.has_integrity ? "whole-file CRCs hold" : "no integrity record");
            if (!signer.empty()) std::printf("%s: signed by %s\n", path.c_str(), signer.c_str());
        }
        status = faults.empty() ? 0 : 1;
    });
}
