// Lists the windows a person sees, for the GUI test driver: every visible
// top-level window with a text, and every visible window inside one that
// has a caption bar of its own (the wizard's dialogs live inside its
// background window, where the X server sees no window of theirs). One
// line each, with the window's place on the screen:
//   HWND LEFT TOP WIDTH HEIGHT CAPTION
#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace {

void PrintIfCaptioned(HWND window, bool top_level) {
    if (!IsWindowVisible(window)) return;
    if (!top_level && (GetWindowLongA(window, GWL_STYLE) & WS_CAPTION) != WS_CAPTION) return;
    char caption[512];
    if (GetWindowTextA(window, caption, sizeof caption) <= 0) return;
    RECT r;
    if (!GetWindowRect(window, &r)) return;
    std::printf("0x%lx %ld %ld %ld %ld %s\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)),
                r.left, r.top, r.right - r.left, r.bottom - r.top, caption);
}

BOOL CALLBACK PrintChild(HWND window, LPARAM) {
    PrintIfCaptioned(window, false);
    return TRUE;
}

BOOL CALLBACK PrintTopLevel(HWND window, LPARAM) {
    PrintIfCaptioned(window, true);
    if (IsWindowVisible(window)) EnumChildWindows(window, PrintChild, 0);
    return TRUE;
}

}  // namespace

int main() {
    _setmode(_fileno(stdout), _O_BINARY);  // lines end in \n alone, for the shell
    EnumWindows(PrintTopLevel, 0);
    return 0;
}
