#include "builder/commands/sign_command.h"

#include <filesystem>
#include <vector>

#include "builder/commands/existing_file.h"
#include "builder/manifest/build_error.h"
#include "builder/reading/setup_reader.h"
#include "builder/system/child_process.h"
#include "builder/system/file_system.h"

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr char kSignerMissing[] =
    "signing needs osslsigncode.exe on the PATH: get a Windows build of osslsigncode (its releases on GitHub, or "
    "MSYS2's package mingw-w64-x86_64-osslsigncode) and put its folder on the PATH";
#else
constexpr char kSignerMissing[] = "signing needs osslsigncode, which is not installed (Debian package osslsigncode)";
#endif

std::string SignerSubject(const std::string& path) {
    std::string out = RunChild({"osslsigncode", "verify", "-in", path}, true).output;
    // The first "Subject:" line is the signer's own certificate.
    size_t at = out.find("Subject: ");
    if (at == std::string::npos) return "";
    at += 9;
    size_t end = out.find('\n', at);
    return out.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

void AddSigningOptions(CLI::App& cmd, SigningOptions& options) {
    auto* cert = cmd.add_option("--cert", options.certificate, "Sign with this certificate (PEM), through osslsigncode")
                     ->check(kExistingFile);
    auto* key = cmd.add_option("--key", options.key, "The certificate's private key (PEM)")->check(kExistingFile);
    cert->needs(key);
    key->needs(cert);
    cmd.add_option("--timestamp", options.timestamp, "URL of a timestamp server for the signature")->needs(cert);
}

void SignSetupFile(const std::string& path, const SigningOptions& options) {
    std::string signed_path = path + ".signed";
    std::vector<std::string> args = {"osslsigncode", "sign", "-certs", options.certificate, "-key", options.key};
    if (!options.timestamp.empty()) args.insert(args.end(), {"-ts", options.timestamp});
    args.insert(args.end(), {"-in", path, "-out", signed_path});
    std::error_code ec;
    fs::remove(Utf8Path(signed_path), ec);  // osslsigncode will not write over a file
    ChildRun run = RunChild(args, false);
    if (run.not_found) throw BuildError(kSignerMissing);
    if (!run.started) throw BuildError("cannot run osslsigncode: " + run.why);
    if (int status = run.status; status != 0) {
        fs::remove(Utf8Path(signed_path), ec);
        throw BuildError("osslsigncode could not sign '" + path + "' (exit status " + std::to_string(status) + ")");
    }
    SetupFileView v = ReadSetupFile(ReadWholeFile(signed_path));
    if (!v.holds_signature || !v.archive_ends_file || !v.problems.empty()) {
        fs::remove(Utf8Path(signed_path), ec);
        throw BuildError("the file osslsigncode signed no longer reads as a complete setup file; '" + path +
                         "' is left unsigned");
    }
    fs::rename(Utf8Path(signed_path), Utf8Path(path), ec);
    if (ec) throw BuildError("cannot replace '" + path + "' with its signed copy: " + ec.message());
}

void AddSignCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("sign", "Sign a setup file with Authenticode (needs osslsigncode)");
    static std::string path;
    static SigningOptions options;
    cmd->add_option("setup", path, "The setup file")->required()->check(kExistingFile);
    AddSigningOptions(*cmd, options);
    cmd->get_option("--cert")->required();
    cmd->callback([&status] {
        try {
            SignSetupFile(path, options);
            std::printf("%s: signed\n", path.c_str());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kiln sign: %s\n", e.what());
            status = 1;
        }
    });
}
