#include "builder/system/child_process.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include "builder/system/file_system.h"
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#ifdef _WIN32

namespace {

// One argument as CommandLineToArgvW reads it back: quoted when it has
// blanks or quotes, with the backslashes before a quote doubled.
std::wstring Quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

}  // namespace

ChildRun RunChild(const std::vector<std::string>& args, bool capture) {
    ChildRun run;
    std::wstring line;
    for (const std::string& a : args) line += (line.empty() ? L"" : L" ") + Quoted(Utf8Path(a).wstring());
    // The program itself is looked up as the shell would: on the PATH, with .exe.
    wchar_t program[MAX_PATH];
    if (!SearchPathW(nullptr, Utf8Path(args[0]).c_str(), L".exe", MAX_PATH, program, nullptr)) {
        run.not_found = true, run.why = "not found on the PATH";
        return run;
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr, nothing = INVALID_HANDLE_VALUE;
    STARTUPINFOW start = {};
    start.cb = sizeof start;
    if (capture) {
        if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
            run.why = "cannot make a pipe";
            return run;
        }
        SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
        nothing = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        start.hStdOutput = write_end;
        start.hStdError = nothing;
    }
    PROCESS_INFORMATION process = {};
    BOOL made = CreateProcessW(program, line.data(), nullptr, nullptr, capture, 0, nullptr, nullptr, &start, &process);
    if (capture) {
        CloseHandle(write_end);
        if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
    }
    if (!made) {
        run.why = "error " + std::to_string(GetLastError());
        if (read_end) CloseHandle(read_end);
        return run;
    }
    run.started = true;
    if (capture) {
        char buffer[4096];
        DWORD n;
        while (ReadFile(read_end, buffer, sizeof buffer, &n, nullptr) && n) run.output.append(buffer, n);
        CloseHandle(read_end);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    run.status = int(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

#else

ChildRun RunChild(const std::vector<std::string>& args, bool capture) {
    ChildRun run;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipe_ends[2] = {-1, -1};
    if (capture && pipe(pipe_ends) != 0) {
        run.why = std::strerror(errno);
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (capture) {
        posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid;
    int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (capture) {
        close(pipe_ends[1]);
        char buffer[4096];
        for (ssize_t n; !error && (n = read(pipe_ends[0], buffer, sizeof buffer)) != 0;) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            run.output.append(buffer, size_t(n));
        }
        close(pipe_ends[0]);
    }
    if (error) {
        run.not_found = error == ENOENT, run.why = std::strerror(error);
        return run;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    run.started = true;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

#endif
