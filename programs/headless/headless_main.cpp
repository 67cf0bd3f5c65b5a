// kiln-headless: installs a setup file without the wizard, for tests and
// benchmarks. It loads the package as the setup program does, selects a
// setup type, sets the destination folder, runs the install driver to the
// end with scripted answers for any question, runs the post-install actions
// (log, shortcuts, uninstall entry, remembered folder, INI, registry and
// patch entries, self-registration) unless told not to, opens the installed
// document when asked, and prints the outcome.
//
//   kiln-headless.exe SETUP.EXE [--type N] [--dest FOLDER] [--answer yes|no|abort|retry|ignore|ok|cancel]...
//                     [--no-post-install] [--open-document]
//
// Exit code 0 exactly when the install error is 0; -1 when the package
// cannot be loaded.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "decoder/archive_state.h"
#include "decoder/archive.h"
#include "engine/install_driver.h"
#include "engine/open_document.h"
#include "engine/path_text.h"
#include "engine/post_install.h"
#include "package/file_list.h"
#include "package/package_loader.h"
#include "package/package_format.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "wizard/message_box.h"

namespace {

// Answers for the questions the installation asks, in order; when they run
// out, a question gets its safe answer (No, Cancel, Abort).
constexpr int kMaxAnswers = 64;
int g_answers[kMaxAnswers];
int g_answer_count = 0, g_next_answer = 0;

int AnswerFromWord(const char* word) {
    static const struct {
        const char* word;
        int answer;
    } kWords[] = {{"yes", IDYES}, {"no", IDNO},         {"abort", IDABORT}, {"retry", IDRETRY},
                  {"ignore", IDIGNORE}, {"ok", IDOK}, {"cancel", IDCANCEL}};
    for (const auto& w : kWords)
        if (lstrcmpiA(word, w.word) == 0) return w.answer;
    return 0;
}

int ScriptedAnswer(const char* text, const char* caption, UINT style) {
    int answer = g_next_answer < g_answer_count ? g_answers[g_next_answer++] : 0;
    if (!answer) {
        switch (style & MB_TYPEMASK) {
        case MB_YESNO: answer = IDNO; break;
        case MB_ABORTRETRYIGNORE: answer = IDABORT; break;
        case MB_OKCANCEL: answer = IDCANCEL; break;
        default: answer = IDOK; break;
        }
    }
    std::printf("question: [%s] %s -> %d\n", caption, text, answer);
    return answer;
}

// The stub length from the setup file's own patch block, found by its marker.
uint32_t StubLengthOf(const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    static uint8_t head[256 * 1024];
    DWORD got = 0;
    ReadFile(h, head, sizeof head, &got, nullptr);
    CloseHandle(h);
    size_t block = FindPatchBlock(head, got);
    return block < got ? PatchedStubLength(head + block) : 0;
}

void PrintOutcome() {
    std::printf("install error: %d\n", g_state.install_error);
    if (g_state.install_error) {
        char text[1024];
        FormatMessageText(text, sizeof text, g_state.install_error);
        std::printf("error text: %s\n", text);
    }
    std::printf("message argument: %s\n", g_state.message_argument);
    std::printf("restart needed: %d\n", g_state.restart_needed ? 1 : 0);
    std::printf("uninstaller: %s\n", g_driver.uninstaller_path);
    std::printf("document to open: %s\n", g_state.document_to_open);
    const uint8_t* e = g_config.current_first_entry;
    for (uint32_t i = 0; i < g_config.current_file_count; ++i, e = NextEntry(e))
        std::printf("entry %u: status %u %s\n", i, ReadU16(e + kEntryInstallStatus), EntryString(e, 0));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kiln-headless SETUP.EXE [--type N] [--dest FOLDER] [--answer WORD]... "
                             "[--lang TAG] [--no-post-install] [--open-document]\n");
        return 2;
    }
    // Written out in one piece: when the output is a character device
    // such as NUL, the runtime asks the console about every single
    // character it writes unbuffered.
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    ResetProcessState();
    g_state.instance = GetModuleHandleA(nullptr);
    if (!GetFullPathNameA(argv[1], kPathSize, g_state.source_path, nullptr)) lstrcpynA(g_state.source_path, argv[1], kPathSize);
    int type = -1;
    const char* dest = nullptr;
    bool post_install = true, open_document = false;
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--type") && i + 1 < argc) type = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--dest") && i + 1 < argc) dest = argv[++i];
        else if (!std::strcmp(argv[i], "--lang") && i + 1 < argc) lstrcpynA(g_state.language_wish, argv[++i], 12);
        else if (!std::strcmp(argv[i], "--no-post-install")) post_install = false;
        else if (!std::strcmp(argv[i], "--open-document")) open_document = true;
        else if (!std::strcmp(argv[i], "--answer") && i + 1 < argc && g_answer_count < kMaxAnswers) {
            int a = AnswerFromWord(argv[++i]);
            if (!a) {
                std::fprintf(stderr, "kiln-headless: unknown answer '%s'\n", argv[i]);
                return 2;
            }
            g_answers[g_answer_count++] = a;
        } else {
            std::fprintf(stderr, "kiln-headless: unknown argument '%s'\n", argv[i]);
            return 2;
        }
    }
    SetMessageAnswerer(ScriptedAnswer);

    if (!LoadPackage(StubLengthOf(g_state.source_path))) {
        std::printf("the package cannot be loaded\n");
        return -1;
    }
    if (type >= 0) {
        if (type >= g_config.type_count) {
            std::fprintf(stderr, "kiln-headless: the package has %d setup type(s)\n", g_config.type_count);
            FreeSetupConfig();
            return 2;
        }
        SelectSetupType(type);
    }
    if (dest) lstrcpynA(g_state.destination_folder, dest, kPathSize);
    // As the destination page leaves it: with exactly one trailing backslash.
    StripBackslash(g_state.destination_folder);
    AddBackslash(g_state.destination_folder, kPathSize);
    std::printf("setup type: %d\ndestination: %s\nlanguage: %d\n", g_config.current_type, g_state.destination_folder,
                g_config.language);

    OleInitialize(nullptr);  // shell links, as in the setup program
    if (StartInstall())
        while (InstallStep()) {
        }
    if (post_install) RunPostInstallActions();
    else CloseArchive();
    if (open_document && g_state.install_error == 0) OpenInstalledDocument();
    OleUninitialize();
    PrintOutcome();
    int code = g_state.install_error;
    FreeSetupConfig();
    return code == 0 ? 0 : 1;
}
