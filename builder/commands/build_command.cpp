#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "builder/manifest/manifest.h"
#include "builder/assembly/package_builder.h"
#include "builder/commands/package_commands.h"
#include "builder/program/pe_resources.h"
#include "builder/reading/setup_files.h"
#include "builder/program/stub_packer.h"
#include "builder/program/stub_resources.h"
#include "builder/commands/sign_command.h"
#include "builder/program/uninstaller_program.h"
#include "builder/system/file_system.h"

namespace fs = std::filesystem;

// Where kiln looks for a Windows program of an architecture, in order: in
// a folder for it beside kiln (the zip's layout), the build tree's
// (build/win32 or build/win64 next to build/host, or to kiln.exe in
// build/win64), an installed copy's share/kiln, and beside kiln itself
// last, where a 64-bit kiln.exe sits next to the 64-bit programs.
std::vector<fs::path> ProgramPlaces(const char* name, bool x64) {
    fs::path self = ExecutableFolder();
    const char* arch = x64 ? "win64" : "win32";
    return {self / arch / name, self / ".." / arch / name, self / ".." / "share" / "kiln" / arch / name, self / name};
}

fs::path DefaultProgram(const char* variable, const char* name, bool x64) {
    if (const char* env = std::getenv(variable); env && *env) return Utf8Path(env);
    std::error_code ec;
    for (const fs::path& candidate : ProgramPlaces(name, x64))
        if (fs::is_regular_file(candidate, ec)) return candidate;
    return {};
}

namespace {

// A Windows program the build puts into the setup file (the setup program,
// the uninstaller): given, or the one kiln finds by itself. When there is
// none, the error names every place looked in, so that a moved or partial
// install says what it lacks.
fs::path FindProgram(const std::string& given, const char* variable, const char* name, bool x64, const char* what,
                     const char* option) {
    if (!given.empty()) return Utf8Path(given);
    fs::path found = DefaultProgram(variable, name, x64);
    if (!found.empty()) return found;
    std::string places;
    for (const fs::path& place : ProgramPlaces(name, x64)) places += "\n  " + Utf8Name(place.lexically_normal());
    throw BuildError(std::string("no ") + what + " found; looked for " + name + " in:" + places +
                     "\nbuild it, or name it with " + option + " or " + variable);
}

Bytes ReadProgram(const fs::path& path, const char* what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw BuildError(std::string("cannot read the ") + what + " '" + Utf8Name(path) + "'");
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

// The setup program and the uninstaller it installs, for the product's
// architecture: a program named explicitly (--stub, KILN_STUB) rules it,
// and the uninstaller must be built for the same, since both read and
// write the same view of the registry and the system folder.
void ChooseWindowsPrograms(Product& product, Bytes& stub_bytes, const std::string& stub,
                           const std::string& uninstaller) {
    if (product.pack_stub && product.x64) throw BuildError("only the 32-bit (x86) setup program can be packed");
    const char* env = std::getenv("KILN_STUB");
    const bool explicit_stub = !stub.empty() || (env && *env);
    const char* stub_name = product.pack_stub && !explicit_stub ? "kiln-stub-packable.exe" : "kiln-stub.exe";
    fs::path stub_path = FindProgram(stub, "KILN_STUB", stub_name, product.x64, "setup program", "--stub");
    stub_bytes = ReadProgram(stub_path, "setup program");
    const ProgramMachine machine = MachineOf(stub_bytes);
    if (machine == ProgramMachine::kUnknown)
        throw BuildError("the setup program '" + Utf8Name(stub_path) + "' is not an x86 or x64 Windows program");
    if (product.x64 && machine != ProgramMachine::kX64)
        throw BuildError("the manifest asks for architecture = \"x64\", but the setup program '" + Utf8Name(stub_path) +
                         "' is a 32-bit program");
    product.x64 = machine == ProgramMachine::kX64;
    if (product.pack_stub) {
        if (product.x64) throw BuildError("only the 32-bit (x86) setup program can be packed");
        stub_bytes = PackStub(stub_bytes);
    }
    if (!product.kiln_uninstaller) return;
    fs::path path =
        FindProgram(uninstaller, "KILN_UNINSTALLER", "kiln-uninstall.exe", product.x64, "uninstaller", "--uninstaller");
    Bytes program = ReadProgram(path, "uninstaller");
    if (MachineOf(program) != machine)
        throw BuildError("the uninstaller '" + Utf8Name(path) + "' is not built for the setup program's architecture (" +
                         (product.x64 ? "x64" : "x86") + ")");
    product.uninstaller = PrepareUninstallerProgram(WithApplicationManifest(program, product.identity.administrator));
}

void PrintDeltas(const Product& product, const std::vector<DeltaChoice>& deltas) {
    uint64_t files = 0, as_deltas = 0, whole = 0;
    for (const DeltaChoice& d : deltas) {
        const ProductFile& file = product.types[d.entry.type].files[d.entry.index];
        const ProductFile& base = product.types[d.base.type].files[d.base.index];
        std::printf("  %s (type %u): %s type %u %s, %u bytes against %u compressed%s\n", file.target.c_str(),
                    unsigned(d.entry.type), d.kept ? "delta against" : "stored whole, a delta against",
                    unsigned(d.base.type), base.target.c_str(), d.delta_size, d.plain_size,
                    d.kept ? "" : " is no smaller");
        if (d.kept) ++files, as_deltas += d.delta_size, whole += d.plain_size;
    }
    if (files)
        std::printf("deltas: %llu file(s) stored as deltas in %llu bytes instead of %llu, %llu bytes (%.1f%%) saved\n",
                    (unsigned long long)files, (unsigned long long)as_deltas, (unsigned long long)whole,
                    (unsigned long long)(whole - as_deltas), 100.0 * double(whole - as_deltas) / double(whole));
}

// A one-line bar on a terminal; nothing when the output is redirected.
void ShowProgress(size_t done, size_t total, const std::string& source) {
    if (!ErrorsGoToTerminal() || total < 8) return;
    int width = 30, filled = int(width * done / total);
    std::fprintf(stderr, "\r[%-*s] %3zu%% %-40.40s", width, std::string(size_t(filled), '#').c_str(),
                 100 * done / total, Utf8Name(Utf8Path(source).filename()).c_str());
    if (done == total) std::fprintf(stderr, "\r%*s\r", width + 48, "");
}

}  // namespace

void AddBuildCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("build", "Build a setup file from a manifest");
    static std::string manifest, output = "setup.exe", stub, uninstaller;
    static int level = 0;
    static uint64_t volume_size = 0;
    static bool auto_delta = false, pack_stub = false;
    static std::string compression;
    cmd->add_option("manifest", manifest, "The product manifest (TOML)")->required();
    cmd->add_option("-o,--output", output, "The setup file to write")->capture_default_str();
    cmd->add_option("--stub", stub, "The setup program to put first (default: the one built with kiln)");
    cmd->add_option("--uninstaller", uninstaller,
                    "Kiln's uninstaller, for manifests that ask for it (default: the one built with kiln)");
    cmd->add_option("--level", level, "Compression level, 1 to 13 (overrides the manifest)")->check(CLI::Range(1, 13));
    cmd->add_option("--volume-size", volume_size,
                    "Largest size of the setup file and of each volume file (setup.D01, ...); "
                    "K and M suffixes count 1024, floppy is 1457664 (overrides the manifest)")
        ->transform(CLI::AsSizeValue(false))
        ->transform([](std::string s) { return s == "floppy" ? std::to_string(kFloppyBytes) : s; })
        ->check(CLI::Range(uint64_t(5), uint64_t(0x7FFFFFFF)));
    cmd->add_option("--compression", compression, "deflate (per-file streams) or lzma (solid blocks); overrides the manifest")
        ->check(CLI::IsMember({"deflate", "lzma"}));
    auto* delta_flag = cmd->add_flag("--auto-delta,!--no-auto-delta", auto_delta,
                                      "Look for files to store as deltas against similar files, where that is "
                                      "smaller (the default; overrides the manifest's auto_delta)");
    static std::vector<std::string> define_list;
    cmd->add_option("-D,--define", define_list, "name=value: the value of ${name} in the manifest (repeatable)");
    static bool werror = false;
    cmd->add_flag("--werror", werror, "Refuse to build when the manifest draws a warning");
    cmd->add_flag("--pack-stub", pack_stub,
                  "Put the 32-bit setup program in packed, unpacking itself at start-up: about 34 KiB smaller, "
                  "but virus scanners distrust programs that do that (overrides the manifest's pack_stub)");
    static SigningOptions signing;
    AddSigningOptions(*cmd, signing);
    cmd->callback([&status, delta_flag] {
        try {
            std::vector<std::string> warnings;
            Product product = LoadManifest(manifest, &warnings, ParseDefines(define_list));
            for (const std::string& w : warnings) std::fprintf(stderr, "warning: %s\n", w.c_str());
            if (werror && !warnings.empty()) throw BuildError("the manifest draws warnings, and --werror makes them errors");
            if (level) product.level = level;
            if (volume_size) product.volume_size = uint32_t(volume_size);
            if (delta_flag->count()) product.auto_delta = auto_delta;
            if (pack_stub) product.pack_stub = true;
            if (!compression.empty()) product.solid_lzma = compression == "lzma";
            Bytes stub_bytes;
            ChooseWindowsPrograms(product, stub_bytes, stub, uninstaller);
            stub_bytes = DressSetupProgram(stub_bytes, product.identity);
            BuildProgress progress{ShowProgress};
            SetupFiles files = BuildSetupFiles(product, stub_bytes, progress);
            WriteSetupSet(Utf8Path(output), files.setup, files.volumes);
            if (!signing.certificate.empty()) SignSetupFile(output, signing);  // last: it covers the final bytes
            std::printf("%s: %zu bytes, %zu setup type(s), for %s Windows\n", output.c_str(), files.setup.size(),
                        product.types.size(), product.x64 ? "64-bit" : "32-bit and 64-bit");
            for (size_t k = 1; k <= files.volumes.size(); ++k)
                std::printf("%s: %zu bytes\n", Utf8Name(VolumePath(Utf8Path(output), k)).c_str(), files.volumes[k - 1].size());
            if (!signing.certificate.empty()) std::printf("%s: signed\n", output.c_str());
            PrintDeltas(product, files.deltas);
        } catch (const ManifestError& e) {
            for (const std::string& problem : e.problems) std::fprintf(stderr, "kiln build: %s\n", problem.c_str());
            status = 1;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kiln build: %s\n", e.what());
            status = 1;
        }
    });
}
