// kiln_test_answer.exe CAPTION BUTTON...: answers message boxes of another
// program, for end-to-end scripts: clicks the given buttons (IDYES 6,
// IDNO 7, IDOK 1, ...) in turn, each on the next box with that caption.
// Exit code 0 when every box showed and was answered.
#include <cstdlib>

#include "tests/win32/message_box_answer.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    for (int i = 2; i < argc; ++i)
        if (!AnswerMessageBox(argv[1], std::atoi(argv[i]), 30000)) return 1;
    return 0;
}
