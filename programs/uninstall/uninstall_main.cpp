// kiln-uninstall.exe: takes an installation away again, as the install log
// appended to its own file tells (engine/uninstaller_data.h has the file's
// layout, engine/removal.h what is removed and in which order).
//
//   uninstall.exe [/QUIET] [/X]
//
// Started from its place in the install folder, it copies its program bytes
// into the temporary folder and runs that copy (as the setup program does
// when it leaves a removable disk), so that its own file and the install
// folder can go too: the copy reads the original file named after /S, asks
// once, removes, hands the exit code back through a pipe (/R), waits for the
// original process to end, deletes the original file and the folders it
// leaves empty, and has itself deleted at the next restart.
//
// /QUIET: no questions and no windows; the items that could not be removed
// are written to standard output. /X: the switch another setup type's
// installation passes: quiet, and run in place, since that setup program
// deletes this file itself once the process has ended.
//
// Before it asks, it makes sure it is the uninstaller its installation's
// uninstall entry names, and the only one running for it
// (engine/uninstall_claim.h).
//
// Exit codes: 0 everything the log names was removed; 3010 a restart
// finishes it (files in use); 1603 something could not be removed (listed;
// the entry and the uninstaller stay for a retry); 1602 the user said No;
// 1620 the install log is missing or damaged; 1605 the installation is not
// where this file expects it (removed already, or this file was moved or
// copied); 1618 another run for the same installation is under way. In
// the last three cases nothing was removed.
#include <windows.h>

#include <cstring>

#include "engine/delayed_replacement.h"
#include "engine/install_log_format.h"
#include "engine/memory.h"
#include "engine/path_text.h"
#include "engine/removal.h"
#include "engine/uninstall_claim.h"
#include "engine/uninstaller_data.h"
#include "package/file_ops.h"
#include "package/safe_format.h"
#include "startup/library_search.h"
#include "startup/process_state.h"

#pragma pack(push, 1)
struct UninstallerBlock {
    uint8_t marker[6];
    uint32_t program_length;  // filled in by the builder
};
#pragma pack(pop)
static_assert(sizeof(UninstallerBlock) == kUninstallerBlockSize, "the builder writes 4 bytes after the marker");

// Volatile and used: the linker keeps it and the program reads the bytes the
// builder wrote, never a folded constant.
__attribute__((used)) volatile UninstallerBlock g_uninstaller_block = {
    {kUninstallerMarker[0], kUninstallerMarker[1], kUninstallerMarker[2], kUninstallerMarker[3],
     kUninstallerMarker[4], kUninstallerMarker[5]},
    0};

namespace {

// Only shown when the file is too damaged to hold its own texts, or was
// made before it held the text.
constexpr char kFallbackDamaged[] = "The uninstall information is missing or damaged. Nothing has been removed.";
constexpr char kFallbackNotInstalledHere[] =
    "The product is not installed where this uninstaller expects it. Nothing has been removed.";
constexpr uint32_t kLargestFile = 64u << 20;
// How long the copy waits for the original process to end before it has
// the original file deleted at the next restart instead.
constexpr int kOriginalWaitSteps = 100;
constexpr DWORD kOriginalWaitStep = 100;

struct Options {
    bool quiet;
    bool in_place;                   // /X: started by a setup program, which deletes this file
    char original[kPathSize];        // /S: this is the copy; the file it was copied from
    HANDLE result_pipe;              // /R: where the copy hands its exit code back
};

// One argument: a quoted text or up to the next blank.
const char* ReadWord(const char* p, char* word, size_t capacity) {
    while (*p == ' ' || *p == '\t') ++p;
    char end = ' ';
    if (*p == '"') end = *p++;
    size_t n = 0;
    for (; *p && *p != end && !(end == ' ' && *p == '\t'); ++p)
        if (n + 1 < capacity) word[n++] = *p;
    word[n] = 0;
    if (*p == '"') ++p;
    return p;
}

Options ReadOptions() {
    Options o = {};
    char word[kPathSize];
    const char* p = ReadWord(GetCommandLineA(), word, sizeof word);  // the program itself
    while (*(p = ReadWord(p, word, sizeof word)) || word[0]) {
        if (word[0] != '/' && word[0] != '-') continue;
        const char* name = word + 1;
        if (!lstrcmpiA(name, "QUIET")) o.quiet = true;
        else if (!lstrcmpiA(name, "X")) o.quiet = o.in_place = true;
        else if (!lstrcmpiA(name, "S")) p = ReadWord(p, o.original, sizeof o.original);
        else if (!lstrcmpiA(name, "R")) {
            p = ReadWord(p, word, sizeof word);
            uintptr_t value = 0;
            for (const char* d = word; *d >= '0' && *d <= '9'; ++d) value = value * 10 + uintptr_t(*d - '0');
            o.result_pipe = reinterpret_cast<HANDLE>(value);
        }
    }
    return o;
}

// A text of the file, terminated, with %s standing for the product name.
struct Texts {
    UninstallerTexts raw;
    char product[kPathSize];
};

char* FormatText(const Texts& t, UninstallerText which, size_t extra) {
    const LogText& raw = t.raw.text[which];
    void* block = nullptr;
    size_t capacity = raw.size + std::strlen(t.product) + extra + 1;
    if (!AllocZeroedRetry(&block, capacity + raw.size + 1)) return nullptr;
    char* out = static_cast<char*>(block);
    char* format = out + capacity;
    std::memcpy(format, raw.data, raw.size);
    // As the setup program's messages: a text without %s stands as it is.
    if (std::strstr(format, "%s")) FormatWithString(out, capacity, format, t.product);
    else std::memcpy(out, format, raw.size);
    return out;
}

int Show(const Texts& t, const char* text, UINT style) {
    return MessageBoxA(nullptr, text, t.product[0] ? t.product : "Uninstall", style | MB_SETFOREGROUND);
}

// Why nothing was removed: the file's text, or the program's own where the
// file holds none.
void ShowRefusal(const Texts& t, UninstallerText which, const char* fallback) {
    char* text = t.raw.text[which].size ? FormatText(t, which, 0) : nullptr;
    Show(t, text ? text : fallback, MB_OK | MB_ICONERROR);
    void* block = text;
    FreeAndClear(&block);
}

// The whole file, or null.
uint8_t* ReadWholeFile(const char* path, uint32_t* size) {
    HANDLE file = OpenForReading(path);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    *size = FileSize(file);
    void* block = nullptr;
    if (*size > kLargestFile || !AllocRetry(&block, *size ? *size : 1) || ReadExactly(file, block, *size) != 0)
        FreeAndClear(&block);
    CloseFile(file);
    return static_cast<uint8_t*>(block);
}

struct Result {
    int code;
    RemovalReport report;
};

// The list of what remains, one line an item.
void WriteFailures(HANDLE out, const RemovalReport& report) {
    char text[32];
    WriteAll(out, report.failures, uint32_t(std::strlen(report.failures)));
    if (report.omitted) WriteAll(out, text, uint32_t(wsprintfA(text, "(%d more)\r\n", report.omitted)));
}

// The folder that holds path, into folder.
void FolderOf(const char* path, char* folder) {
    lstrcpynA(folder, path, kPathSize);
    char* slash = FindLastBackslash(folder);
    if (slash) *slash = 0;
    else folder[0] = 0;
}

void ShowOutcome(const Texts& t, const Result& r) {
    if (r.report.failed) {
        size_t list = std::strlen(r.report.failures);
        char* text = FormatText(t, kTextIncomplete, list + 32);
        if (!text) return;
        lstrcatA(text, "\n\n");
        lstrcatA(text, r.report.failures);
        if (r.report.omitted) wsprintfA(text + std::strlen(text), "(%d more)", r.report.omitted);
        Show(t, text, MB_OK | MB_ICONWARNING);
        void* block = text;
        FreeAndClear(&block);
        return;
    }
    char* text = FormatText(t, r.report.scheduled ? kTextRestart : kTextRemoved, 0);
    if (text) Show(t, text, MB_OK | MB_ICONINFORMATION);
    void* block = text;
    FreeAndClear(&block);
}

// Deletes the original file once its process has ended, then the folders
// it leaves empty, the install folder included.
void RemoveOriginal(const char* original) {
    SetFileAttributesA(original, FILE_ATTRIBUTE_NORMAL);
    bool deleted = false;
    for (int i = 0; i < kOriginalWaitSteps && !(deleted = DeleteFileA(original)); ++i) Sleep(kOriginalWaitStep);
    if (!deleted) {
        ReplaceAtRestart(nullptr, original);
        return;
    }
    char install[kPathSize];
    FolderOf(original, install);
    const char* slash = FindLastBackslash(install);
    RemoveEmptyFolders(original, slash ? size_t(slash - install) : 0);
}

// The uninstallation itself, over the original file. in_place: this
// process runs from that file, which stays.
Result Uninstall(const Options& o, const char* original, bool in_place) {
    Result r = {ERROR_INSTALL_PACKAGE_INVALID, {}};
    Texts t = {};
    uint32_t size = 0;
    uint8_t* file = ReadWholeFile(original, &size);
    uint32_t program = g_uninstaller_block.program_length;
    size_t log_start = 0;
    InstallLog log;
    bool sound = file && program && program <= size &&
                 (log_start = ReadUninstallerTexts(file + program, size - program, &t.raw)) != 0;
    if (sound) {
        const LogText& name = t.raw.text[kTextProductName];
        lstrcpynA(t.product, name.data, name.size < kPathSize ? name.size + 1 : kPathSize);
        sound = ReadInstallLog(file + program + log_start, size - program - log_start, &log);
    }
    if (!sound && !o.quiet) ShowRefusal(t, kTextDamaged, kFallbackDamaged);
    HANDLE lock = nullptr;
    Claim claim = sound ? ClaimInstallation(log, original, &lock) : Claim::kUnchecked;
    if (sound && claim == Claim::kBusy) {
        r.code = ERROR_INSTALL_ALREADY_RUNNING;  // the other run shows its own windows
    } else if (sound && claim == Claim::kNotInstalledHere) {
        // Its install folder would be wherever this file is: nothing is touched.
        r.code = ERROR_UNKNOWN_PRODUCT;
        if (!o.quiet) ShowRefusal(t, kTextNotInstalledHere, kFallbackNotInstalledHere);
    } else if (sound) {
        char* question = o.quiet ? nullptr : FormatText(t, kTextQuestion, 0);
        bool go = o.quiet || (question && Show(t, question, MB_YESNO | MB_ICONQUESTION) == IDYES);
        void* block = question;
        FreeAndClear(&block);
        if (!go) {
            r.code = ERROR_INSTALL_USEREXIT;
        } else {
            SystemFolders folders;
            char install[kPathSize];
            FolderOf(original, install);
            FindSystemFolders(install, &folders);
            // Marked first: a run that ends half way must not lead a later
            // one to lower the same counts again.
            if (claim != Claim::kRetry) MarkCountsReleased(log);
            RemoveInstallation(log, folders.view, original, claim != Claim::kRetry, &r.report);
            // Without a copy to run from, the own file can only go at the next restart.
            if (in_place && !o.in_place && ReplaceAtRestart(nullptr, original)) ++r.report.scheduled;
            r.code = RemovalExitCode(r.report);
        }
    }
    void* block = file;
    FreeAndClear(&block);
    if (o.result_pipe) {
        // The code, then the list: the starter ends with them.
        WriteAll(o.result_pipe, &r.code, sizeof r.code);
        WriteFailures(o.result_pipe, r.report);
        CloseHandle(o.result_pipe);
    }
    // With something left (1603) the uninstaller stays beside it, for a retry.
    if (!in_place && (r.code == 0 || r.code == ERROR_SUCCESS_REBOOT_REQUIRED)) RemoveOriginal(original);
    bool removed = r.code == 0 || r.code == ERROR_SUCCESS_REBOOT_REQUIRED || r.code == ERROR_INSTALL_FAILURE;
    if (sound && !o.quiet && removed) ShowOutcome(t, r);
    if (lock) CloseHandle(lock);
    return r;
}

// Starts the copy in the temporary folder and waits for what it hands back.
// False when no copy could be started; the work is then done in place.
bool RunCopy(const Options& o, const char* own, int* code) {
    char temp[kPathSize], copy[kPathSize];
    DWORD n = GetTempPathA(sizeof temp, temp);
    uint32_t program = g_uninstaller_block.program_length;
    if (!n || n >= sizeof temp || !program) return false;
    HANDLE out = INVALID_HANDLE_VALUE;
    for (int i = 0; i < 999 && out == INVALID_HANDLE_VALUE; ++i) {
        wsprintfA(copy, "%s%s_unin%d.exe", temp, EndsInBackslash(temp) ? "" : "\\", i);
        out = CreateFileA(copy, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (out == INVALID_HANDLE_VALUE) return false;
    uint32_t size = 0;
    uint8_t* bytes = ReadWholeFile(own, &size);
    bool written = bytes && size >= program && WriteAll(out, bytes, program) == 0;
    void* block = bytes;
    FreeAndClear(&block);
    CloseFile(out);

    HANDLE read = nullptr, write = nullptr, inherited = nullptr;
    char command[3 * kPathSize];
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    bool started = written && CreatePipe(&read, &write, nullptr, 0) &&
                   DuplicateHandle(GetCurrentProcess(), write, GetCurrentProcess(), &inherited, 0, TRUE,
                                   DUPLICATE_SAME_ACCESS);
    if (write) CloseHandle(write);
    if (started) {
        wsprintfA(command, "\"%s\" /S \"%s\" /R %u%s", copy, own, unsigned(reinterpret_cast<uintptr_t>(inherited)),
                  o.quiet ? " /QUIET" : "");
        // Not from the install folder: a current directory would keep it from going.
        SetCurrentDirectoryA(temp);
        started = CreateProcessA(copy, command, nullptr, nullptr, TRUE, 0, nullptr, temp, &si, &pi);
    }
    if (inherited) CloseHandle(inherited);
    if (!started) {
        if (read) CloseHandle(read);
        DeleteFileA(copy);
        return false;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // The code, then the list of what remains; a copy that ends without a
    // word has failed.
    *code = ERROR_INSTALL_FAILURE;
    int handed = 0;
    if (ReadExactly(read, &handed, sizeof handed) == 0) *code = handed;
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    char text[512];
    for (uint32_t got; (got = ReadSome(read, text, sizeof text)) != 0;)
        if (o.quiet && output && output != INVALID_HANDLE_VALUE) WriteAll(output, text, got);
    CloseHandle(read);
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The copy runs from the temporary folder, where anyone may have put a
    // library by a system library's name.
    RestrictLibrarySearch();
    ResetProcessState();
    Options o = ReadOptions();
    char own[kPathSize];
    if (!GetModuleFileNameA(nullptr, own, sizeof own)) own[0] = 0;
    if (o.original[0]) {
        // The copy: it goes at the next restart, whatever happens now.
        ReplaceAtRestart(nullptr, own);
        char temp[kPathSize];
        if (GetTempPathA(sizeof temp, temp)) SetCurrentDirectoryA(temp);
        return Uninstall(o, o.original, false).code;
    }
    int code = 0;
    if (!o.in_place && RunCopy(o, own, &code)) return code;
    Result r = Uninstall(o, own, true);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (o.quiet && output && output != INVALID_HANDLE_VALUE) WriteFailures(output, r.report);
    return r.code;
}
