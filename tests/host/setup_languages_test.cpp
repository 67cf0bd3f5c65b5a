#include "package/setup_languages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "package/package_format.h"

namespace {

std::vector<uint8_t> Table(std::initializer_list<std::tuple<uint16_t, uint16_t, const char*>> entries) {
    std::vector<uint8_t> t;
    for (auto [langid, code_page, tag] : entries) {
        uint8_t e[kLanguageEntrySize] = {};
        WriteU16(e, langid);
        WriteU16(e + 2, code_page);
        std::memcpy(e + 4, tag, std::strlen(tag));
        t.insert(t.end(), e, e + sizeof e);
    }
    return t;
}

// The user's interface language decides among the languages the system's
// code page shows; the first language is what every other system gets.
TEST(SetupLanguages, ChosenByTheSystemOrTheSwitch) {
    // English first; Brazilian and European Portuguese; Russian in 1251.
    std::vector<uint8_t> table = Table({{0x0409, 1252, "en"},
                                        {0x0416, 1252, "pt-BR"},
                                        {0x0816, 1252, "pt-PT"},
                                        {0x0419, 1251, "ru"},
                                        {0x0407, 1252, "de"}});
    const struct {
        uint16_t ui_langid, code_page;
        const char* wanted;
        int chosen;
    } cases[] = {
        {0x0407, 1252, "", 4},       // German user, Western system
        {0x0816, 1252, "", 2},       // the exact LANGID over the earlier one of its primary language
        {0x0416, 1252, nullptr, 1},
        {0x0807, 1252, "", 4},       // Swiss German: German by its primary language
        {0x0419, 1251, "", 3},
        {0x0419, 1252, "", 0},       // a Russian user on a Western system: its code page cannot show Russian
        {0x0407, 1251, "", 0},       // a German user on a Cyrillic system
        {0x040C, 1252, "", 0},       // French is not in the file
        {0x0409, 932, "", 0},
        {0x0419, 1251, "DE", -1},    // /LANG=de on a Cyrillic system: refused
        {0x0409, 1252, "De", 4},     // any case
        {0x0409, 1251, "en", 0},     // the first language is always shown
        {0x0409, 1252, "pt-br", 1},
        {0x0409, 1252, "pt", -1},    // a tag is matched whole
        {0x0409, 1252, "fr", -1},    // not in the file
        {0x0409, 1252, "averyverylo", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.ui_langid << " " << std::dec << c.code_page << " "
                                        << (c.wanted ? c.wanted : "(null)"));
        EXPECT_EQ(ChooseLanguage(table.data(), uint32_t(table.size() / kLanguageEntrySize), c.ui_langid, c.code_page,
                                 c.wanted),
                  c.chosen);
    }
    // A tag of all 8 bytes has no terminator in the table.
    std::vector<uint8_t> full = Table({{0x0409, 1252, "en"}, {0x0C0A, 1252, "es-ES-tr"}});
    EXPECT_EQ(ChooseLanguage(full.data(), 2, 0x0409, 1252, "es-ES-tr"), 1);
    EXPECT_EQ(ChooseLanguage(full.data(), 2, 0x0409, 1252, "es-ES-tra"), -1);
}

}  // namespace
