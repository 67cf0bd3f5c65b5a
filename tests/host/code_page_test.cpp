// Manifest texts (UTF-8) into the package's code page: what Windows-1252
// holds comes out as its bytes, the rest is refused by name, and the
// manifest names the key.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "builder/manifest/code_page.h"
#include "builder/manifest/manifest.h"

namespace fs = std::filesystem;

namespace {

TEST(CodePage, Windows1252FromUtf8) {
    const struct {
        const char* utf8;
        const char* ansi;     // when converted
        const char* refusal;  // when refused
    } cases[] = {
        {"plain ASCII", "plain ASCII", ""},
        {"", "", ""},
        {"Acme Ledger \u2013 Caf\u00e9 \u00c9dition", "Acme Ledger \x96 Caf\xe9 \xc9" "dition", ""},
        {"\u20ac 5 \u2122 \u0178 \u00ff \u00a0", "\x80 5 \x99 \x9f \xff \xa0", ""},
        {"\u201cquoted\u201d \u2026", "\x93quoted\x94 \x85", ""},
        {"\u0141\u00f3d\u017a", "", "holds '\u0141' (U+0141), which Windows-1252 cannot hold"},
        {"smile \U0001F600", "", "(U+1F600)"},
        {"\u0081", "", "(U+0081)"},  // the byte 0x81 is unassigned, so U+0081 has no byte
        {"bad \xc3", "", "is no UTF-8 text (byte 4)"},
        {"\xc0\xaf", "", "is no UTF-8 text"},  // overlong '/'
        {"\xed\xa0\x80", "", "is no UTF-8 text"},  // a surrogate
        {"\x80", "", "is no UTF-8 text (byte 0)"},
    };
    for (const auto& c : cases) {
        std::string refusal, out = FromUtf8(c.utf8, kWindows1252, &refusal);
        EXPECT_EQ(out, c.ansi) << c.utf8;
        if (*c.refusal) EXPECT_NE(refusal.find(c.refusal), std::string::npos) << c.utf8 << ": " << refusal;
        else EXPECT_EQ(refusal, "") << c.utf8;
    }
}

std::string Utf8Of(uint16_t u) {
    return u < 0x800 ? std::string{char(0xC0 | u >> 6), char(0x80 | (u & 0x3F))}
                     : std::string{char(0xE0 | u >> 12), char(0x80 | (u >> 6 & 0x3F)), char(0x80 | (u & 0x3F))};
}

// Each table against characters a Polish, Czech or Russian text needs, and
// every assigned byte back from its character.
TEST(CodePage, EveryTableRoundTrips) {
    const struct {
        const CodePage* page;
        int number;
        const char* utf8;
        const char* ansi;  // "" when refused
    } cases[] = {
        {&kWindows1252, 1252, "\u00e9\u20ac", "\xe9\x80"},
        {&kWindows1250, 1250, "\u0142\u00f3d\u017a \u017e\u0139\u010d\u0165", "\xb3\xf3" "d\x9f \x9e\xc5\xe8\x9d"},
        {&kWindows1250, 1250, "\u201eP\u0159\u00edli\u0161\u201c", "\x84P\xf8\xedli\x9a\x93"},
        {&kWindows1250, 1250, "\u00e0", ""},  // French a grave is not Central European
        {&kWindows1251, 1251, "\u041f\u0440\u0438\u0432\u0435\u0442 \u0451\u0401 \u2116", "\xcf\xf0\xe8\xe2\xe5\xf2 \xb8\xa8 \xb9"},
        {&kWindows1251, 1251, "\u00e9", ""},
        {&kWindows932, 932, "\u65e5\u672c\u8a9e \uff76\uff85", "\x93\xfa\x96\x7b\x8c\xea \xb6\xc5"},
        {&kWindows932, 932, "\u8868\u30bd", "\x95\x5c\x83\x5c"},  // second bytes that are backslashes
        {&kWindows932, 932, "\u00e9", ""},
        {&kWindows936, 936, "\u4e2d\u6587\u20ac", "\xd6\xd0\xce\xc4\x80"},
        {&kWindows936, 936, "\u30bd", "\xa5\xbd"},
        {&kWindows936, 936, "\u0e01", ""},  // Thai
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CodePageNumbered(c.number), c.page);
        std::string refusal;
        EXPECT_EQ(FromUtf8(c.utf8, *c.page, &refusal), c.ansi) << c.page->name << ": " << c.utf8;
        EXPECT_EQ(refusal.empty(), *c.ansi != 0) << refusal;
    }
    EXPECT_EQ(CodePageNumbered(949), nullptr);
    for (const CodePage* page : {&kWindows1252, &kWindows1250, &kWindows1251, &kWindows932, &kWindows936}) {
        for (int b = 0x80; b < 0x100; ++b) {
            uint16_t u = page->high[b - 0x80];
            if (!u) continue;
            std::string refusal;
            EXPECT_EQ(FromUtf8(Utf8Of(u), *page, &refusal), std::string(1, char(b))) << page->name << " " << b;
            EXPECT_EQ(ToUtf8(std::string(1, char(b)), *page), Utf8Of(u)) << page->name << " " << b;
        }
        // Each two-byte character, there and back: bytes to UTF-8 and UTF-8 to the same bytes.
        for (size_t i = 0; i < page->pair_count; ++i) {
            uint16_t code = page->pairs[i].code;
            std::string bytes{char(code >> 8), char(code & 0xFF)}, refusal;
            ASSERT_TRUE(IsLeadByte(*page, uint8_t(code >> 8))) << page->name << " " << code;
            ASSERT_EQ(ToUtf8(bytes, *page), Utf8Of(page->pairs[i].unicode)) << page->name << " " << code;
            ASSERT_EQ(FromUtf8(Utf8Of(page->pairs[i].unicode), *page, &refusal), bytes) << page->name << " " << code;
        }
    }
    EXPECT_GT(kWindows932.pair_count, 7000u);
    EXPECT_GT(kWindows936.pair_count, 21000u);
    EXPECT_EQ(ToUtf8("\x81", kWindows932), "\xef\xbf\xbd");  // a lead byte at the end
}

TEST(CodePage, ManifestTextsAreConvertedOrRefusedByKey) {
    fs::path dir = fs::temp_directory_path() / "kiln-code-page-test";
    fs::create_directories(dir);
    std::ofstream(dir / "a.txt") << "a";
    auto load = [&](const std::string& setup_lines) {
        std::ofstream(dir / "kiln.toml") << "[setup]\n" << setup_lines << "\n[[type]]\n[[type.file]]\nsource = \"a.txt\"\n";
        return LoadManifest((dir / "kiln.toml").string());
    };
    Product p = load("title = \"Caf\u00e9 \u2013 Ledger\"\ncompany = \"\u0141\u00f3d\u017a Ltd\"");
    EXPECT_EQ(p.types[0].texts[6][0], "Caf\xe9 \x96 Ledger");  // the package's texts: ANSI
    EXPECT_EQ(p.identity.product_name, "Caf\u00e9 \u2013 Ledger");  // the version resource: Unicode
    EXPECT_EQ(p.identity.company, "\u0141\u00f3d\u017a Ltd");
    try {
        load("title = \"T\"\n[setup.texts]\n\"0.1\" = \"Willkommen in \u0141\u00f3d\u017a\"");
        ADD_FAILURE() << "accepted";
    } catch (const ManifestError& e) {
        EXPECT_NE(std::string(e.what()).find(":4: setup.texts.0.1: the text holds '\u0141' (U+0141), which Windows-1252"),
                  std::string::npos)
            << e.what();
    }
    fs::remove_all(dir);
}

}  // namespace
