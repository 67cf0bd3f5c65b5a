// Writes hand-made setup files, and font files to install, for the installs
// under Wine:
//   hand_made_setups BUILT_SETUP OUT_FOLDER NAME...
//     makes OUT_FOLDER/NAME.exe from BUILT_SETUP for each name given;
//   hand_made_setups --font OUT_FILE FULL_NAME...
//     writes a font file whose Macintosh full-name records hold these names, in order.
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>

#include "builder/reading/setup_reader.h"
#include "tests/common/font_writer.h"
#include "tests/host/hand_made_setups.h"

namespace {

bool WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (out.flush()) return true;
    std::fprintf(stderr, "hand_made_setups: cannot write '%s'\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: hand_made_setups BUILT_SETUP OUT_FOLDER NAME... | --font OUT_FILE FULL_NAME...\n");
        return 2;
    }
    if (!std::strcmp(argv[1], "--font")) {
        FontContents font;
        for (int i = 3; i < argc; ++i) font.names.push_back({1, 4, argv[i]});
        return WriteFile(argv[2], TrueTypeFile(font)) ? 0 : 1;
    }
    Bytes setup = ReadWholeFile(argv[1]);
    for (int i = 3; i < argc; ++i) {
        const HandMadeSetup* found = nullptr;
        for (const HandMadeSetup& h : HandMadeSetups())
            if (!std::strcmp(h.name, argv[i])) found = &h;
        if (!found) {
            std::fprintf(stderr, "hand_made_setups: no setup file named '%s'\n", argv[i]);
            return 2;
        }
        try {
            if (!WriteFile(std::string(argv[2]) + "/" + argv[i] + ".exe", found->make(setup))) return 1;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "hand_made_setups: %s: %s\n", argv[i], e.what());
            return 1;
        }
    }
    return 0;
}
