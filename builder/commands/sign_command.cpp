#include "builder/commands/sign_command.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "builder/manifest/build_error.h"
#include "builder/reading/setup_reader.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Runs a program found on the PATH with the given arguments; its output
// goes to ours. The exit status, or -1 when it could not be started
// (errno then says why).
// argv for posix_spawn: the texts of args, then a null.
std::vector<char*> Argv(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

int Run(const std::vector<std::string>& args) {
    std::vector<char*> argv = Argv(args);
    pid_t pid;
    int error = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (error) {
        errno = error;
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs args with standard output into a pipe and standard error to nowhere:
// what it wrote, or "" when it could not run.
std::string Output(const std::vector<std::string>& args) {
    std::vector<char*> argv = Argv(args);
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return "";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_ends[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t n; !error && (n = read(pipe_ends[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        out.append(buffer, size_t(n));
    }
    close(pipe_ends[0]);
    int status = 0;
    if (!error)
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return out;
}

}  // namespace

std::string SignerSubject(const std::string& path) {
    std::string out = Output({"osslsigncode", "verify", "-in", path});
    // The first "Subject:" line is the signer's own certificate.
    size_t at = out.find("Subject: ");
    if (at == std::string::npos) return "";
    at += 9;
    size_t end = out.find('\n', at);
    return out.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

void AddSigningOptions(CLI::App& cmd, SigningOptions& options) {
    auto* cert = cmd.add_option("--cert", options.certificate, "Sign with this certificate (PEM), through osslsigncode")
                     ->check(CLI::ExistingFile);
    auto* key = cmd.add_option("--key", options.key, "The certificate's private key (PEM)")->check(CLI::ExistingFile);
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
    fs::remove(signed_path, ec);  // osslsigncode will not write over a file
    int status = Run(args);
    if (status < 0)
        throw BuildError(errno == ENOENT ? std::string("signing needs osslsigncode, which is not installed "
                                                       "(Debian package osslsigncode)")
                                         : std::string("cannot run osslsigncode: ") + std::strerror(errno));
    if (status != 0) {
        fs::remove(signed_path, ec);
        throw BuildError("osslsigncode could not sign '" + path + "' (exit status " + std::to_string(status) + ")");
    }
    SetupFileView v = ReadSetupFile(ReadWholeFile(signed_path));
    if (!v.holds_signature || !v.archive_ends_file || !v.problems.empty()) {
        fs::remove(signed_path, ec);
        throw BuildError("the file osslsigncode signed no longer reads as a complete setup file; '" + path +
                         "' is left unsigned");
    }
    fs::rename(signed_path, path, ec);
    if (ec) throw BuildError("cannot replace '" + path + "' with its signed copy: " + ec.message());
}

void AddSignCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("sign", "Sign a setup file with Authenticode (needs osslsigncode)");
    static std::string path;
    static SigningOptions options;
    cmd->add_option("setup", path, "The setup file")->required()->check(CLI::ExistingFile);
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
