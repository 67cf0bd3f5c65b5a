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
    for (unsigned char c : ansi ? ToUtf8(text, page_) : text) {
        if (c == '"' || c == '\\') {
            out_ += '\\';
            out_ += char(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", unsigned(c));
            out_ += escaped;
        } else {
            out_ += char(c);
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
