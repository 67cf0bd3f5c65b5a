#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "builder/manifest.h"
#include "builder/package_builder.h"
#include "builder/package_commands.h"

namespace fs = std::filesystem;

namespace {

// The setup program the build puts first: given, named by KILN_STUB, or the
// one built beside this kiln (build/win32 next to build/host).
fs::path FindStub(const std::string& given) {
    if (!given.empty()) return given;
    if (const char* env = std::getenv("KILN_STUB")) return env;
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec).parent_path();
    for (fs::path candidate : {self / "kiln-stub.exe", self / ".." / "win32" / "kiln-stub.exe"})
        if (fs::is_regular_file(candidate, ec)) return candidate;
    return {};
}

// Writes next to the target and renames, so that a failed build leaves no
// half-written setup file behind.
void WriteWhole(const fs::path& target, const Bytes& bytes) {
    fs::path temporary = target;
    temporary += ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out.flush()) {
            std::error_code ec;
            fs::remove(temporary, ec);
            throw BuildError("cannot write '" + target.string() + "'");
        }
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        throw BuildError("cannot write '" + target.string() + "'");
    }
}

// A one-line bar on a terminal; nothing when the output is redirected.
void ShowProgress(size_t done, size_t total, const std::string& source) {
    if (!isatty(STDERR_FILENO) || total < 8) return;
    int width = 30, filled = int(width * done / total);
    std::fprintf(stderr, "\r[%-*s] %3zu%% %-40.40s", width, std::string(size_t(filled), '#').c_str(),
                 100 * done / total, fs::path(source).filename().c_str());
    if (done == total) std::fprintf(stderr, "\r%*s\r", width + 48, "");
}

}  // namespace

void AddBuildCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("build", "Build a setup file from a manifest");
    static std::string manifest, output = "setup.exe", stub;
    static int level = 0;
    cmd->add_option("manifest", manifest, "The product manifest (TOML)")->required();
    cmd->add_option("-o,--output", output, "The setup file to write")->capture_default_str();
    cmd->add_option("--stub", stub, "The setup program to put first (default: the one built with kiln)");
    cmd->add_option("--level", level, "Compression level, 1 to 13 (overrides the manifest)")->check(CLI::Range(1, 13));
    cmd->callback([&status] {
        try {
            Product product = LoadManifest(manifest);
            if (level) product.level = level;
            fs::path stub_path = FindStub(stub);
            if (stub_path.empty()) throw BuildError("no setup program found: build it, or name it with --stub");
            std::ifstream in(stub_path, std::ios::binary);
            if (!in) throw BuildError("cannot read the setup program '" + stub_path.string() + "'");
            Bytes stub_bytes((std::istreambuf_iterator<char>(in)), {});
            BuildProgress progress{ShowProgress};
            Bytes setup = BuildSetupFile(product, stub_bytes, progress);
            WriteWhole(output, setup);
            std::printf("%s: %zu bytes, %zu setup type(s)\n", output.c_str(), setup.size(), product.types.size());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kiln build: %s\n", e.what());
            status = 1;
        }
    });
}
