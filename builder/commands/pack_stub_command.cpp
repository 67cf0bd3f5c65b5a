#include "builder/commands/pack_stub_command.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "builder/commands/existing_file.h"
#include "builder/program/stub_packer.h"
#include "builder/system/file_system.h"

void AddPackStubCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("pack-stub", "Pack the linked setup program into the one kiln build puts first");
    static std::string input, output;
    static StubPackOptions options;
    cmd->add_option("linked", input, "The setup program as linked")->required()->check(kExistingFile);
    cmd->add_option("-o,--output", output, "The packed setup program to write")->required();
    cmd->add_option("--image-base", options.image_base,
                    "Another preferred image base (a multiple of 0x10000), so that the program is relocated "
                    "when it unpacks");
    cmd->callback([&status] {
        try {
            std::ifstream in(Utf8Path(input), std::ios::binary);
            Bytes linked((std::istreambuf_iterator<char>(in)), {});
            if (!in.good() && !in.eof()) throw BuildError("cannot read '" + input + "'");
            Bytes packed = PackStub(linked, options);
            std::ofstream out(Utf8Path(output), std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(packed.data()), std::streamsize(packed.size()));
            if (!out.flush()) throw BuildError("cannot write '" + output + "'");
            std::printf("%s: %zu bytes, packed from %zu\n", output.c_str(), packed.size(), linked.size());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kiln pack-stub: %s\n", e.what());
            status = 1;
        }
    });
}
