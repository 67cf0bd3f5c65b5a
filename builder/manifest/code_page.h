// The package's texts are ANSI: single bytes in the code page the setup
// program's Windows reads them in. Manifest texts are UTF-8; each is
// converted through a code page's table, and a character the code page
// cannot hold is refused by name rather than stored as mojibake.
#pragma once
#include <cstdint>
#include <string>

// A character of a double-byte code page: lead byte << 8 | trail byte.
struct DoubleByteCharacter {
    uint16_t code;
    uint16_t unicode;
};

struct CodePage {
    const char* name;
    // The Unicode character of each single byte 0x80 to 0xFF; 0 where the
    // byte is unassigned or leads a double-byte character. Bytes below 0x80
    // are ASCII in every code page here.
    uint16_t high[128];
    // Double-byte code pages: their two-byte characters by code, and which
    // bytes 0x80 to 0xFF lead one (bit b % 16 of word (b - 0x80) / 16).
    const DoubleByteCharacter* pairs = nullptr;
    size_t pair_count = 0;
    uint16_t lead_bytes[8] = {};
};

extern const CodePage kWindows1252;
extern const CodePage kWindows1250;
extern const CodePage kWindows1251;
extern const CodePage kWindows932;  // Japanese (Shift JIS as Windows has it)
extern const CodePage kWindows936;  // Simplified Chinese (GBK)

// The table of Windows code page `number` (1252, 1250, 1251, 932, 936);
// null for one Kiln has no table of.
const CodePage* CodePageNumbered(int number);

// The byte leads a two-byte character in the code page.
bool IsLeadByte(const CodePage& page, uint8_t byte);

// The text in the code page, or "" with *refusal naming the first
// character it cannot hold (as U+XXXX and the character itself), or saying
// that the text is no UTF-8.
std::string FromUtf8(const std::string& utf8, const CodePage& page, std::string* refusal);

// A text of the package in UTF-8; a byte or pair of bytes the code page
// leaves unassigned becomes U+FFFD.
std::string ToUtf8(const std::string& ansi, const CodePage& page);

// The text in UTF-16, for what Windows reads as Unicode (dialog captions);
// "" with *refusal set when the text is no UTF-8.
std::u16string Utf16FromUtf8(const std::string& utf8, std::string* refusal);
