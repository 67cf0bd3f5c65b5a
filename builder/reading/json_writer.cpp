#include "builder/reading/json_writer.h"

#include <cstdio>

void JsonWriter::Key(const char* key) {
    if (!first_) out_ += ',';
    first_ = false;
    if (key) {
        out_ += '"';
        out_ += key;
        out_ += "\":";
    }
}

void JsonWriter::Open(char bracket, const char* key) {
    Key(key);
    out_ += bracket;
    first_ = true;
}

void JsonWriter::Close(char bracket) {
    out_ += bracket;
    first_ = false;
}

void JsonWriter::Text(const char* key, const std::string& ansi) {
    Key(key);
    Quoted(ansi, true);
}

void JsonWriter::Utf8Text(const char* key, const std::string& utf8) {
    Key(key);
    Quoted(utf8, false);
}

void JsonWriter::Quoted(const std::string& text, bool ansi) {
    out_ += '"';
    for (unsigned char c : text) {
        if (!ansi && c >= 0x80) {  // UTF-8 stays as it is
            out_ += char(c);
            continue;
        }
        uint32_t u = c < 0x80 ? c : page_.high[c - 0x80];
        if (c >= 0x80 && !u) u = 0xFFFD;  // a byte the code page leaves unassigned
        if (u == '"' || u == '\\') {
            out_ += '\\';
            out_ += char(u);
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", unsigned(u));
            out_ += escaped;
        } else if (u < 0x80) {
            out_ += char(u);
        } else if (u < 0x800) {
            out_ += char(0xC0 | u >> 6), out_ += char(0x80 | (u & 0x3F));
        } else {
            out_ += char(0xE0 | u >> 12), out_ += char(0x80 | (u >> 6 & 0x3F)), out_ += char(0x80 | (u & 0x3F));
        }
    }
    out_ += '"';
}

void JsonWriter::Number(const char* key, uint64_t value) {
    Key(key);
    out_ += std::to_string(value);
}

void JsonWriter::Flag(const char* key, bool value) {
    Key(key);
    out_ += value ? "true" : "false";
}
