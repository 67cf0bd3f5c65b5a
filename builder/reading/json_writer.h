// A small JSON writer for `kiln inspect --json`: strings escaped, texts of
// the package turned from its code page into UTF-8, commas placed by the
// writer so the callers read like the structure they write.
#pragma once
#include <cstdint>
#include <string>

#include "builder/manifest/code_page.h"

class JsonWriter {
public:
    explicit JsonWriter(const CodePage& page) : page_(page) {}
    void Open(char bracket, const char* key = nullptr);   // '{' or '['
    void Close(char bracket);                              // '}' or ']'
    void Text(const char* key, const std::string& ansi);   // a package text, as UTF-8
    void Utf8Text(const char* key, const std::string& utf8);  // a text of this machine (a path)
    void Number(const char* key, uint64_t value);
    void Flag(const char* key, bool value);
    const std::string& out() const { return out_; }

private:
    void Key(const char* key);
    void Quoted(const std::string& text, bool ansi);
    const CodePage& page_;
    std::string out_;
    bool first_ = true;
};
