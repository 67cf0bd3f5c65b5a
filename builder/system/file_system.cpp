#include "builder/system/file_system.h"

#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

#ifdef _WIN32

// Through the system's own conversions, which put U+FFFD for what is not
// UTF-8 where the library's would throw.
fs::path Utf8Path(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), n);
    return fs::path(wide);
}

std::string Utf8Name(const fs::path& path) {
    const std::wstring& wide = path.native();
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), n, nullptr, nullptr);
    return utf8;
}

namespace {

void ListInto(const std::wstring& folder, const fs::path& below, bool recursive, std::vector<fs::path>& files) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(below / name);
        else if (recursive && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            ListInto(folder + L"\\" + name, below / name, recursive, files);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

std::vector<fs::path> FilesIn(const fs::path& folder, bool recursive) {
    std::error_code ec;
    std::wstring whole = fs::absolute(folder, ec).lexically_normal().native();
    while (!whole.empty() && whole.back() == L'\\') whole.pop_back();
    // The "\\?\" form takes a path of any length; a UNC path gets it as "\\?\UNC\".
    std::wstring listed = whole.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC\\" + whole.substr(2) : L"\\\\?\\" + whole;
    std::vector<fs::path> files;
    ListInto(listed, {}, recursive, files);
    return files;
}

std::optional<uint64_t> LastWriteFileTime(const fs::path& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
}

bool SetFileTimes(const fs::path& path, uint64_t last_access, uint64_t last_write) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME access = {DWORD(last_access), DWORD(last_access >> 32)};
    FILETIME write = {DWORD(last_write), DWORD(last_write >> 32)};
    bool set = SetFileTime(file, nullptr, &access, &write);
    CloseHandle(file);
    return set;
}

fs::path ExecutableFolder() {
    std::wstring name(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
    if (n == 0 || n >= name.size()) return {};
    name.resize(n);
    return fs::path(name).parent_path();
}

bool ErrorsGoToTerminal() { return _isatty(_fileno(stderr)); }

void UseUtf8Arguments(int& argc, char**& argv) {
    SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return;
    // Kept for the whole run: argv points into them.
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    for (int i = 0; i < count; ++i) texts.push_back(Utf8Name(fs::path(wide[i])));
    LocalFree(wide);
    for (std::string& t : texts) pointers.push_back(t.data());
    pointers.push_back(nullptr);
    argc = count, argv = pointers.data();
}

#else

// Linux file names are bytes, and UTF-8 by convention.
fs::path Utf8Path(const std::string& utf8) { return fs::path(utf8); }
std::string Utf8Name(const fs::path& path) { return path.string(); }

namespace {

// 1970-01-01 as a FILETIME: 100 ns units since 1601.
constexpr uint64_t kFileTimeOf1970 = 116444736000000000ull;

// A FILETIME as seconds and nanoseconds since 1970 (times before then as 1970).
struct timespec FromFileTime(uint64_t t) {
    t = t > kFileTimeOf1970 ? t - kFileTimeOf1970 : 0;
    struct timespec s;
    s.tv_sec = time_t(t / 10000000);
    s.tv_nsec = long(t % 10000000) * 100;
    return s;
}

}  // namespace

std::vector<fs::path> FilesIn(const fs::path& folder, bool recursive) {
    std::vector<fs::path> files;
    std::error_code ec;
    auto consider = [&](const fs::directory_entry& e) {
        if (e.is_regular_file(ec)) files.push_back(fs::relative(e.path(), folder, ec));
    };
    if (recursive)
        for (const auto& e : fs::recursive_directory_iterator(folder, ec)) consider(e);
    else
        for (const auto& e : fs::directory_iterator(folder, ec)) consider(e);
    return files;
}

std::optional<uint64_t> LastWriteFileTime(const fs::path& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    return kFileTimeOf1970 + uint64_t(st.st_mtim.tv_sec) * 10000000 + uint64_t(st.st_mtim.tv_nsec) / 100;
}

bool SetFileTimes(const fs::path& path, uint64_t last_access, uint64_t last_write) {
    struct timespec both[2] = {FromFileTime(last_access), FromFileTime(last_write)};
    return utimensat(AT_FDCWD, path.c_str(), both, AT_SYMLINK_NOFOLLOW) == 0;
}

fs::path ExecutableFolder() {
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).parent_path();
}

bool ErrorsGoToTerminal() { return isatty(STDERR_FILENO); }

void UseUtf8Arguments(int&, char**&) {}

#endif
