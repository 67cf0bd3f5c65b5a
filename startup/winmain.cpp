// The setup program's entry point. For now it only checks that a package was
// appended behind it and ends; loading and the wizard build on this.
#include <windows.h>

#include "package/patch_block.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return StubLength() == 0 ? -1 : 0;
}
