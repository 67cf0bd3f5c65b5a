#include "builder/manifest/languages.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "builder/manifest/language_files.h"

namespace {

std::string TextKey(int group, size_t index) { return std::to_string(group) + "." + std::to_string(index); }

// A data file ships inside kiln: a mistake in one is kiln's own, so it stops
// with the file and what is wrong rather than building a half-translated setup.
[[noreturn]] void Broken(const std::string& file, const std::string& problem) {
    throw std::logic_error(file + ": " + problem);
}

Language ReadLanguage(const LanguageFile& f) {
    Language l;
    l.file = std::string("languages/") + f.name;
    toml::table root;
    try {
        root = toml::parse(f.text, l.file);
    } catch (const toml::parse_error& e) {
        Broken(l.file + ":" + std::to_string(e.source().begin.line), std::string(e.description()));
    }
    auto tag = root["tag"].value<std::string>();
    auto name = root["name"].value<std::string>();
    auto langid = root["langid"].value<int64_t>();
    auto code_page = root["code_page"].value<int64_t>();
    if (!tag || !name || !langid || !code_page) Broken(l.file, "needs tag, name, langid and code_page");
    if (*tag + ".toml" != f.name) Broken(l.file, "the tag " + *tag + " is not the file's name");
    l.tag = *tag, l.name = *name, l.langid = uint16_t(*langid), l.code_page = int(*code_page);
    if (const toml::table* texts = root["texts"].as_table())
        for (auto&& [key, node] : *texts) {
            if (!node.is_string()) Broken(l.file, "texts." + std::string(key.str()) + ": expected a text");
            l.texts[std::string(key.str())] = {**node.as_string(), node.source().begin.line};
        }
    return l;
}

std::string Convert(const Language& l, const std::string& key, const std::string& utf8, const CodePage& page) {
    std::string refusal, ansi = FromUtf8(utf8, page, &refusal);
    if (!refusal.empty()) throw std::logic_error(l.file + ": texts." + key + ": the text " + refusal);
    return ansi;
}

// The default string table with the language's texts in, each through
// convert(key, utf8).
template <typename Convert>
StringTable TranslatedTable(const Language& l, Convert convert) {
    StringTable table = DefaultStringTable();
    for (int g = 0; g < kStringGroupCount; ++g)
        for (size_t i = 0; i < table[size_t(g)].size(); ++i)
            if (auto t = l.texts.find(TextKey(g, i)); t != l.texts.end())
                table[size_t(g)][i] = convert(t->first, t->second.utf8);
    return table;
}

// The string table in UTF-8, for checks of a language Kiln has no code page table of.
StringTable Utf8Table(const Language& l) {
    return TranslatedTable(l, [](const std::string&, const std::string& utf8) { return utf8; });
}

std::map<std::string, std::string> EnglishTexts() {
    std::map<std::string, std::string> english;
    StringTable table = DefaultStringTable();
    for (int g = 0; g < kStringGroupCount; ++g)
        for (size_t i = 0; i < table[size_t(g)].size(); ++i)
            if (!table[size_t(g)][i].empty()) english[TextKey(g, i)] = table[size_t(g)][i];
    for (const NamedText& n : kNamedTexts) english[n.key] = n.english;
    return english;
}

}  // namespace

const std::vector<Language>& Languages() {
    static const std::vector<Language> all = [] {
        std::vector<Language> read;
        for (size_t i = 0; i < kLanguageFileCount; ++i) read.push_back(ReadLanguage(kLanguageFiles[i]));
        std::sort(read.begin(), read.end(), [](const Language& a, const Language& b) {
            return std::make_pair(a.tag != "en", a.tag) < std::make_pair(b.tag != "en", b.tag);
        });
        return read;
    }();
    return all;
}

const Language* FindLanguage(const std::string& tag) {
    for (const Language& l : Languages())
        if (l.tag == tag) return &l;
    return nullptr;
}

std::vector<std::string> LanguageTags() {
    std::vector<std::string> tags;
    for (const Language& l : Languages()) tags.push_back(l.tag);
    return tags;
}

std::vector<std::string> CheckLanguage(const Language& l) {
    std::vector<std::string> problems;
    auto at = [&](int64_t line, const std::string& key) {
        return l.file + (line ? ":" + std::to_string(line) : "") + ": texts." + key + ": ";
    };
    if (l.tag == "en") {
        if (!l.texts.empty()) problems.push_back(l.file + ": English texts belong in default_texts.cpp alone");
        return problems;
    }
    const std::map<std::string, std::string> english = EnglishTexts();
    for (const auto& [key, text] : english)
        if (!l.texts.count(key)) problems.push_back(at(0, key) + "missing");
    const CodePage* page = CodePageNumbered(l.code_page);
    for (const auto& [key, text] : l.texts) {
        auto e = english.find(key);
        if (e == english.end()) {
            problems.push_back(at(text.line, key) + "not a text of English");
            continue;
        }
        int group = -1, index = -1;
        if (std::sscanf(key.c_str(), "%d.%d", &group, &index) == 2) {
            std::string want = FormatDirectives(group, index, e->second);
            std::string have = FormatDirectives(group, index, text.utf8);
            if (want != have)
                problems.push_back(at(text.line, key) + "format directives \"" + have + "\" where English has \"" +
                                   want + "\"");
        }
        std::string refusal;
        if (page) FromUtf8(text.utf8, *page, &refusal);
        if (!refusal.empty()) problems.push_back(at(text.line, key) + "the text " + refusal);
    }
    if (!problems.empty()) return problems;
    StringTable table = page ? LanguageStringTable(l, *page) : Utf8Table(l);
    for (const std::string& p : CheckStringTable(table)) problems.push_back(l.file + ": " + p);
    return problems;
}

StringTable LanguageStringTable(const Language& l, const CodePage& page) {
    return TranslatedTable(
        l, [&](const std::string& key, const std::string& utf8) { return Convert(l, key, utf8, page); });
}

std::string LanguageNamedText(const Language& l, const std::string& key, const CodePage& page) {
    if (auto t = l.texts.find(key); t != l.texts.end()) return Convert(l, key, t->second.utf8, page);
    for (const NamedText& n : kNamedTexts)
        if (key == n.key) return n.english;
    throw std::logic_error("no text " + key);
}

DialogCaptions LanguageCaptions(const Language& l) {
    DialogCaptions captions;
    auto caption = [&](const std::string& key, std::u16string& out) {
        auto t = l.texts.find(key);
        if (t == l.texts.end()) return;
        std::string refusal;
        out = Utf16FromUtf8(t->second.utf8, &refusal);
        if (!refusal.empty()) throw std::logic_error(l.file + ": texts." + key + ": the text " + refusal);
    };
    caption("7.0", captions.back);
    caption("7.1", captions.next);
    caption("7.2", captions.cancel);
    caption("dialog.browse", captions.browse);
    caption("7.4", captions.ok);
    caption("7.5", captions.browser_cancel);
    return captions;
}
