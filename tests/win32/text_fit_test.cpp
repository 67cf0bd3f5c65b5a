// Every text of every wizard page fits its control, in each language of a
// setup file that kiln built: the pages are made from the file's own
// templates and texts by their own procedures, and each visible static
// text and button is measured in its own font against its rectangle.
// Wine takes the code page from the Unix locale, so the caller runs this
// once per code page: KILN_FIT_SETUP names the setup file (a Windows
// path) and KILN_FIT_LANGUAGES the tags this locale can show ("de,fr").
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "package/package_loader.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "tests/win32/test_files.h"
#include "wizard/message_box.h"
#include "wizard/page_runner.h"
#include "wizard/pages.h"

namespace {

int AnswerOk(const char*, const char*, UINT) { return IDOK; }

// Room a button leaves its text: the check box or radio circle and its
// gap, a group box's frame, or a push button's edges.
int ButtonTextRoom(LONG style, int width) {
    switch (style & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE: return width - GetSystemMetrics(SM_CXMENUCHECK) - 4;
    case BS_GROUPBOX: return width - 2 * GetSystemMetrics(SM_CXEDGE) - 8;
    default: return width - 2 * GetSystemMetrics(SM_CXEDGE);
    }
}

// How the control's text is cut, or "" when it fits: drawn as the control
// draws it (wrapped or on one line, & marking the access key), in its font.
std::string Cut(HWND control) {
    char kind[32] = "", text[2048] = "";
    GetClassNameA(control, kind, sizeof kind);
    GetWindowTextA(control, text, sizeof text);
    LONG style = GetWindowLongA(control, GWL_STYLE);
    if (!text[0] || !(style & WS_VISIBLE)) return "";
    RECT client;
    GetClientRect(control, &client);
    UINT flags = DT_CALCRECT | DT_EXPANDTABS;
    int room = client.right;
    if (!lstrcmpiA(kind, "Static")) {
        int type = style & SS_TYPEMASK;
        if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT) flags |= DT_WORDBREAK;
        else if (type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP) flags |= DT_SINGLELINE;
        else return "";  // pictures, frames, owner-drawn
        if (style & SS_NOPREFIX) flags |= DT_NOPREFIX;
    } else if (!lstrcmpiA(kind, "Button")) {
        room = ButtonTextRoom(style, client.right);
        flags |= style & BS_MULTILINE ? DT_WORDBREAK : DT_SINGLELINE;
    } else {
        return "";
    }
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
    RECT need = {0, 0, room, 0};
    DrawTextA(dc, text, -1, &need, flags);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    if (need.right <= room && need.bottom <= client.bottom) return "";
    std::ostringstream m;
    m << kind << " " << GetDlgCtrlID(control) << " \"" << text << "\" needs " << need.right << "x" << need.bottom
      << " px, has " << room << "x" << client.bottom;
    return m.str();
}

struct CutFinder {
    std::vector<std::string>* cuts;
    const char* where;
};
BOOL CALLBACK NoteCut(HWND control, LPARAM found) {
    const CutFinder& f = *reinterpret_cast<const CutFinder*>(found);
    std::string cut = Cut(control);
    if (!cut.empty()) f.cuts->push_back(std::string(f.where) + ": " + cut);
    return TRUE;
}

// The page open inside the main dialog, as the page loop opens it; every
// cut text of the page and of the main dialog's buttons it labels.
void CheckPage(int index, int template_number, DLGPROC procedure, const char* where, std::vector<std::string>* cuts) {
    g_state.page_index = index;
    TemplateCopy copy;
    ASSERT_TRUE(CopyDialogTemplate(template_number, &copy));
    HWND page = CreateDialogIndirectParamA(g_state.instance, copy.dialog, g_state.main_dialog, procedure, 0);
    ReleaseTemplateCopy(&copy);
    ASSERT_NE(page, nullptr) << where;
    CutFinder f{cuts, where};
    EnumChildWindows(g_state.main_dialog, NoteCut, reinterpret_cast<LPARAM>(&f));  // the page among them
    DestroyWindow(page);
}

std::vector<std::string> CutTextsIn(const char* setup, const std::string& language) {
    std::vector<std::string> cuts;
    ResetProcessState();
    g_state.instance = GetModuleHandleA(nullptr);
    lstrcpynA(g_state.source_path, setup, MAX_PATH);
    lstrcpynA(g_state.language_wish, language.c_str(), sizeof g_state.language_wish);
    SetMessageAnswerer(AnswerOk);
    EXPECT_TRUE(LoadPackage(StubLengthOfFile(setup))) << language << ": not shown on this system";
    WNDCLASSA c = {};
    c.lpfnWndProc = DefWindowProcA;
    c.hInstance = g_state.instance;
    c.lpszClassName = "KilnFitBackground";
    RegisterClassA(&c);
    g_state.background_window = CreateWindowExA(0, c.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 1024, 768, nullptr,
                                                nullptr, g_state.instance, nullptr);
    g_state.screen_width = 1024;
    g_state.screen_height = 768;
    TemplateCopy main_copy;
    EXPECT_TRUE(CopyDialogTemplate(kTemplateMainFramed, &main_copy));
    g_state.main_dialog = CreateDialogIndirectParamA(g_state.instance, main_copy.dialog, g_state.background_window,
                                                     MainDialogProc, 0);
    ReleaseTemplateCopy(&main_copy);
    if (g_state.main_dialog) {
        CheckPage(kPageWelcome, kTemplateWelcomeReady, WelcomePageProc, "welcome", &cuts);
        if (g_config.type_count > 1) CheckPage(kPageSetupType, kTemplateSetupTypes, SetupTypePageProc, "setup type", &cuts);
        CheckPage(kPageDestination, kTemplateDestination, DestinationPageProc, "destination", &cuts);
        CheckPage(kPageReady, kTemplateWelcomeReady, ReadyPageProc, "ready", &cuts);
        CheckPage(kPageProgress, kTemplateProgress, ProgressPageProc, "progress", &cuts);
        CheckPage(kPageFinish, kTemplateFinish, FinishPageProc, "finish", &cuts);
        g_state.restart_needed = true;  // the restart button and its texts
        CheckPage(kPageFinish, kTemplateFinish, FinishPageProc, "finish, restart needed", &cuts);
        g_state.restart_needed = false;
    }
    DestroyWindow(g_state.main_dialog);
    DestroyWindow(g_state.background_window);
    FreeSetupConfig();
    SetMessageAnswerer(nullptr);
    return cuts;
}

TEST(TextFit, EveryPageInEveryLanguage) {
    const char* setup = std::getenv("KILN_FIT_SETUP");
    const char* languages = std::getenv("KILN_FIT_LANGUAGES");
    if (!setup || !languages) GTEST_SKIP() << "KILN_FIT_SETUP and KILN_FIT_LANGUAGES not set";
    std::istringstream tags(languages);
    for (std::string tag; std::getline(tags, tag, ',');)
        for (const std::string& cut : CutTextsIn(setup, tag)) ADD_FAILURE() << tag << ", " << cut;
}

}  // namespace
