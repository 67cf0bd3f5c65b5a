// The translations built into kiln: each one complete and usable by the
// setup program, and the checks that say so catching what a translator
// can get wrong.
#include <gtest/gtest.h>

#include "builder/manifest/languages.h"

namespace {

TEST(Languages, EveryShippedTranslationPassesItsChecks) {
    EXPECT_EQ(LanguageTags(), (std::vector<std::string>{"en", "cs", "de", "es", "fr", "it", "ja", "nl", "pl", "pt-BR",
                                                        "ru", "zh-CN"}));
    for (const Language& l : Languages()) {
        for (const std::string& p : CheckLanguage(l)) ADD_FAILURE() << p;
        EXPECT_NE(l.langid, 0) << l.tag;
        EXPECT_FALSE(l.name.empty()) << l.tag;
    }
}

TEST(Languages, ChecksCatchWhatATranslatorGetsWrong) {
    const struct {
        const char* key;
        const char* text;     // nullptr: the key is left out
        const char* problem;  // found within the one problem reported
    } cases[] = {
        {"0.1", nullptr, "texts.0.1: missing"},
        {"0.9", "Extra", "texts.0.9: not a text of English"},
        {"11.0", "Extra", "texts.11.0: not a text of English"},
        {"3.2", "Die Dateien werden installiert.", "format directives \"\" where English has \"%s\""},
        {"6.28", "Datenträger %s einlegen", "format directives \"%s\" where English has \"%d\""},
        {"6.20", "Das Laufwerk %s ist voll.", "format directives \"%s\" where English has \"\""},
        {"6.9", "%s: 100% schreibgeschützt", "format directives \"%s % \" where English has \"%s\""},
        {"0.1", "Добро пожаловать", "which Windows-1252 cannot hold"},
        {"2.7", "%d Megabytes, und viele mehr, wirklich ganz viele mehr, noch mehr, noch viel mehr, und noch mehr MB",
         "longer than its 100-byte buffer"},
    };
    const Language& german = *FindLanguage("de");
    for (const auto& c : cases) {
        Language broken = german;
        if (c.text) broken.texts[c.key] = {c.text, 7};
        else broken.texts.erase(c.key);
        std::vector<std::string> problems = CheckLanguage(broken);
        ASSERT_EQ(problems.size(), 1u) << c.key << ": " << ::testing::PrintToString(problems);
        EXPECT_NE(problems[0].find(c.problem), std::string::npos) << problems[0];
        EXPECT_EQ(problems[0].rfind("languages/de.toml", 0), 0u) << problems[0];
    }
}

TEST(Languages, EnglishIsTheBuiltInTableUnchanged) {
    const Language& english = *FindLanguage("en");
    EXPECT_EQ(LanguageStringTable(english, kWindows1252), DefaultStringTable());
    EXPECT_EQ(LanguageNamedText(english, "finish.program", kWindows1252), kProgramIntroduction);
    DialogCaptions captions = LanguageCaptions(english), defaults;
    EXPECT_EQ(captions.browse, defaults.browse);
    EXPECT_EQ(captions.next, defaults.next);
}

TEST(Languages, TranslatedTextsComeInTheLanguagesCodePage) {
    const Language& russian = *FindLanguage("ru");
    EXPECT_EQ(russian.code_page, 1251);
    StringTable table = LanguageStringTable(russian, *CodePageNumbered(1251));
    std::string refusal;
    EXPECT_EQ(table[kGroupButtons][2], FromUtf8(russian.texts.at("7.2").utf8, kWindows1251, &refusal));
    EXPECT_EQ(LanguageCaptions(*FindLanguage("de")).browse, u"&Durchsuchen...");
}

}  // namespace
