// The languages a setup file can speak: the built-in translations of the
// default texts (languages/*.toml, built into kiln), read once on first use.
// English is the string table of default_texts.cpp itself; its file,
// languages/en.toml, names the language and holds no texts, so that the
// English words have one home.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "builder/manifest/code_page.h"
#include "builder/manifest/default_texts.h"
#include "builder/manifest/dialog_templates.h"

struct LanguageText {
    std::string utf8;
    int64_t line = 0;  // in the language's file
};

struct Language {
    std::string file;   // "languages/de.toml", for messages
    std::string tag;    // "de", "pt-BR"
    std::string name;   // in English: "German"
    uint16_t langid = 0;
    int code_page = 0;  // the Windows ANSI code page
    // By key: "group.index" for the string table, and the keys of kNamedTexts.
    std::map<std::string, LanguageText> texts;
};

// Every language, English first, then by tag.
const std::vector<Language>& Languages();
const Language* FindLanguage(const std::string& tag);
std::vector<std::string> LanguageTags();

// What is wrong with a translation: a key of English missing or one
// English lacks (English's keys: every non-empty default text by
// "group.index", as an empty one stays empty in every language, and the
// keys of kNamedTexts), format directives other than English's, a text its code
// page cannot hold or too long for the setup program. One line each, naming
// the file and line; empty when sound. A double-byte code page Kiln has no
// table of is not checked for characters, and its lengths are measured in
// UTF-8, which is never shorter.
std::vector<std::string> CheckLanguage(const Language& language);

// The language's default string table and named texts in `page`. English
// gives DefaultStringTable() unchanged. Throws std::logic_error for a text
// the page cannot hold, which CheckLanguage has already refused.
StringTable LanguageStringTable(const Language& language, const CodePage& page);
std::string LanguageNamedText(const Language& language, const std::string& key, const CodePage& page);
DialogCaptions LanguageCaptions(const Language& language);
