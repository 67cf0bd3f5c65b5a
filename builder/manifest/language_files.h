// The translation files of languages/, built into kiln as they stand (the
// build turns each into a raw string: cmake/embed_languages.cmake), so that
// kiln needs no folder of its own at run time.
#pragma once
#include <cstddef>

struct LanguageFile {
    const char* name;  // "de.toml"
    const char* text;  // the file's UTF-8 text
};

extern const LanguageFile kLanguageFiles[];
extern const size_t kLanguageFileCount;
