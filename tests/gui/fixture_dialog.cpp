// A small dialog for the GUI driver's own test: caption "Kiln Fixture", an
// edit field that starts with the command line, OK and Cancel, and a
// captioned window "Kiln Fixture Part" inside, as the wizard's dialogs are
// inside its background window. OK ends the program with the number in the
// field as its exit code, Cancel with 200.
#include <windows.h>

#include <cstdlib>

namespace {

constexpr int kDialogId = 1;
constexpr int kNumberId = 100;
constexpr int kCancelCode = 200;
const char* g_initial_text = "";

INT_PTR CALLBACK FixtureProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) {
        SetDlgItemTextA(dialog, kNumberId, g_initial_text);
        RECT part = {7, 26, 193, 44};  // dialog units, between the field and the buttons
        MapDialogRect(dialog, &part);
        CreateWindowExA(0, "STATIC", "Kiln Fixture Part", WS_CHILD | WS_VISIBLE | WS_CAPTION | SS_ETCHEDFRAME,
                        part.left, part.top, part.right - part.left, part.bottom - part.top, dialog, nullptr,
                        nullptr, nullptr);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    if (LOWORD(wparam) == IDOK) {
        char text[32];
        GetDlgItemTextA(dialog, kNumberId, text, sizeof text);
        EndDialog(dialog, std::atoi(text));
        return TRUE;
    }
    if (LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, kCancelCode);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
    g_initial_text = command_line;
    return int(DialogBoxParamA(instance, MAKEINTRESOURCEA(kDialogId), nullptr, FixtureProc, 0));
}
