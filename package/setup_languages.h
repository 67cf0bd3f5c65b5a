// Kiln's own records for a setup file that speaks several languages. The
// described records carry the first language, so that a reader of the
// described format sees a complete package; the others travel beside them:
//
//   kTagSetupLanguages    the language table: one entry per language, the
//                         first being that of the described records. An
//                         entry is u16 Windows LANGID, u16 ANSI code page,
//                         then the tag ("de", "pt-BR") in 8 bytes, padded
//                         with zeros. Stored, never compressed, before the
//                         records below.
//   kTagLanguageType      a setup type record in a further language: the
//                         described record's fields with that language's
//                         texts. For language 1, one per setup type in type
//                         order, then for language 2, and so on; all of them
//                         after the last setup type record.
//   kTagLanguageDialogs   the dialog templates of a further language, one
//                         per language after the first, in table order.
//
// The setup program loads only the records of the language it chose and
// passes the rest over, so a language costs file size but no memory.
#pragma once
#include <cstdint>

enum : uint16_t {
    kTagSetupLanguages = 0x1263,
    kTagLanguageType = 0x1264,
    kTagLanguageDialogs = 0x1265,
};
constexpr uint32_t kLanguageEntrySize = 12;
constexpr uint32_t kLanguageTagSize = 8;
constexpr uint32_t kMaxLanguages = 16;

// The language a setup program shows, by index into the table (count
// entries of kLanguageEntrySize bytes):
//   - `wanted` (the /LANG switch's tag, any case) when it is not empty: its
//     index when the table has it and the system's ANSI code page
//     `code_page` can show it; the first language is always taken, as it
//     is what every other system is shown. -1 when it cannot be taken.
//   - otherwise the entry whose LANGID is the user's interface language
//     `ui_langid` and whose code page is the system's; then the first of
//     the same primary language (Portuguese for Brazilian Portuguese) and
//     code page; else 0, the first language.
int ChooseLanguage(const uint8_t* table, uint32_t count, uint16_t ui_langid, uint16_t code_page, const char* wanted);
