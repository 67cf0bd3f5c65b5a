#include "builder/manifest/manifest.h"

#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "builder/manifest/code_page.h"
#include "builder/manifest/default_pictures.h"
#include "builder/manifest/default_texts.h"
#include "builder/manifest/dialog_resources.h"
#include "builder/archive/delta_bases.h"
#include "builder/manifest/dialog_templates.h"
#include "builder/manifest/languages.h"
#include "builder/manifest/manifest_keys.h"
#include "builder/manifest/name_pattern.h"
#include "builder/system/file_system.h"
#include "builder/program/stub_resources.h"
#include "builder/manifest/target_rules.h"
#include "builder/program/uninstaller_program.h"
#include "package/package_format.h"
#include "package/package_validate.h"
#include "package/solid_blocks.h"

namespace fs = std::filesystem;

namespace {

// A source named in the manifest, relative to the manifest's folder: '\\'
// and '/' both separate folders, on every system, so that one manifest
// builds on Windows and Linux alike.
fs::path SourcePath(const fs::path& folder, std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return folder / Utf8Path(name);
}

// Thrown once a mistake has been noted, to leave the entry or table it
// spoils; reading goes on with the next one.
struct Abandoned {};

// Where a value came from, for messages: file, line, key path.
struct Context {
    std::string file;
    fs::path folder;
    std::vector<std::string>* warnings = nullptr;
    std::vector<std::string>* errors = nullptr;  // every mistake found, as "file:line: key: problem"
    const CodePage* code_page = &kWindows1252;  // of the package's texts
    // The setup file's language when [setup] names languages: its texts
    // replace English, and its code page is the package's.
    const Language* language = nullptr;

    std::string Where(const toml::node* node, const std::string& key, const std::string& problem) const {
        std::ostringstream m;
        m << file;
        if (node && node->source().begin.line) m << ":" << node->source().begin.line;
        m << ": " << key << ": " << problem;
        return m.str();
    }
    // A mistake that spoils nothing else read so far: reading goes on.
    void Report(const toml::node* node, const std::string& key, const std::string& problem) const {
        errors->push_back(Where(node, key, problem));
    }
    [[noreturn]] void Fail(const toml::node* node, const std::string& key, const std::string& problem) const {
        Report(node, key, problem);
        throw Abandoned{};
    }
    // In the package's code page, or for a text of another listed language,
    // in that one's. A text that is only shown, not used as a name, may
    // hold what CheckName refuses.
    std::string Ansi(const toml::node* node, const std::string& key, const std::string& utf8,
                     const Language* in = nullptr, bool shown = false) const {
        const Language* l = in ? in : language;
        const CodePage& page = l ? *CodePageNumbered(l->code_page) : *code_page;
        std::string refusal, text = FromUtf8(utf8, page, &refusal);
        if (!refusal.empty())
            Fail(node, key, "the text " + refusal + (l ? " (the code page of " + l->name + ", " + l->tag + ")" : ""));
        if (!shown) CheckName(node, key, text, "");
        return text;
    }
    // A name (a folder, file, key or shortcut) in a double-byte code page
    // holds no character whose second byte is a backslash: the setup
    // program would split a path or key there. `use` says how a shown
    // text comes to be a name.
    void CheckName(const toml::node* node, const std::string& key, const std::string& ansi, const std::string& use) const {
        for (size_t i = 0; i + 1 < ansi.size(); ++i) {
            if (!IsLeadByte(*code_page, uint8_t(ansi[i]))) continue;
            if (ansi[i + 1] == '\\')
                Fail(node, key, "'" + ToUtf8(ansi.substr(i, 2), *code_page) + "'" + use + " ends in a backslash (0x5C) in " +
                                    code_page->name + ", which the setup program would take for a folder or key " +
                                    "separator: it may stand in shown texts, not in names");
            ++i;
        }
    }
    // What builds a working package but is most likely not what the author meant.
    void Warn(const toml::node* node, const std::string& key, const std::string& problem) const {
        if (warnings) warnings->push_back(Where(node, key, problem));
    }
};

// One table of the manifest with the keys it may hold.
class Section {
public:
    // `table` names the table in the key list (manifest_keys.h), which says what keys it may hold.
    Section(const Context& c, const toml::table& t, std::string path, std::string table)
        : c_(c), t_(t), path_(std::move(path)), table_(std::move(table)) {
        std::vector<std::string> allowed = KeysOf(table_);
        if (std::count(allowed.begin(), allowed.end(), "*")) return;
        for (auto&& [key, node] : t_) {
            std::string k(key.str());
            if (std::count(allowed.begin(), allowed.end(), k)) continue;
            std::string near = Suggestion(k, allowed);
            c_.Report(&node, Key(k), "unknown key" + (near.empty() ? "" : " (did you mean " + near + "?)"));
        }
    }

    std::string Key(const std::string& k) const { return path_.empty() ? k : path_ + "." + k; }
    const toml::node* Node(const std::string& k) const { return t_.get(k); }
    const toml::table& table() const { return t_; }

    // A text for the package, in its code page.
    // `shown`: a text only shown, never used as a name (Context::CheckName).
    std::optional<std::string> Text(const std::string& k, bool shown = false) const {
        std::optional<std::string> s = Utf8Text(k);
        if (s) *s = c_.Ansi(Node(k), Key(k), *s, nullptr, shown);
        return s;
    }
    // A text as the manifest gives it: a path on this machine, or what the
    // version resource holds in UTF-16.
    std::optional<std::string> Utf8Text(const std::string& k) const {
        const toml::node* n = Node(k);
        if (!n) return std::nullopt;
        if (!n->is_string()) c_.Fail(n, Key(k), "expected a text");
        std::string s = **n->as_string();
        if (s.find('\0') != std::string::npos) c_.Fail(n, Key(k), "a text cannot hold a NUL character");
        return s;
    }
    bool Flag(const std::string& k, bool fallback) const {
        const toml::node* n = Node(k);
        if (!n) return fallback;
        if (!n->is_boolean()) c_.Fail(n, Key(k), "expected true or false");
        return **n->as_boolean();
    }
    int64_t Number(const std::string& k, int64_t fallback, int64_t lo, int64_t hi) const {
        const toml::node* n = Node(k);
        if (!n) return fallback;
        if (!n->is_integer()) c_.Fail(n, Key(k), "expected a whole number");
        int64_t v = **n->as_integer();
        if (v < lo || v > hi)
            c_.Fail(n, Key(k), "must lie between " + std::to_string(lo) + " and " + std::to_string(hi));
        return v;
    }
    // A word from a fixed list, as its position in the list.
    uint8_t Choice(const std::string& k, const std::vector<std::string>& words, uint8_t fallback) const {
        std::optional<std::string> s = Text(k);
        if (!s) return fallback;
        for (size_t i = 0; i < words.size(); ++i)
            if (words[i] == *s) return uint8_t(i);
        std::string list;
        for (const std::string& w : words) list += (list.empty() ? "" : ", ") + w;
        c_.Fail(Node(k), Key(k), "expected one of " + list);
    }
    // A table below this one; `table` when its keys are listed under another name.
    std::optional<Section> Table(const std::string& k, const std::string& table = {}) const {
        const toml::node* n = Node(k);
        if (!n) return std::nullopt;
        if (!n->is_table()) c_.Fail(n, Key(k), "expected a table");
        return Section(c_, *n->as_table(), Key(k), table.empty() ? Below(k) : table);
    }
    std::vector<Section> Tables(const std::string& k) const {
        std::vector<Section> out;
        const toml::node* n = Node(k);
        if (!n) return out;
        const toml::array* a = n->as_array();
        if (!a) c_.Fail(n, Key(k), "expected [[" + Key(k) + "]] tables");
        for (size_t i = 0; i < a->size(); ++i) {
            const toml::node& item = *a->get(i);
            std::string key = Key(k) + "[" + std::to_string(i) + "]";
            if (!item.is_table()) c_.Fail(&item, key, "expected a table");
            out.emplace_back(c_, *item.as_table(), key, Below(k));
        }
        return out;
    }
    // A file named relative to the manifest: its absolute path, which must exist.
    std::optional<std::string> SourceFile(const std::string& k) const {
        std::optional<std::string> s = Utf8Text(k);
        if (!s) return std::nullopt;
        fs::path p = SourcePath(c_.folder, *s);
        std::error_code ec;
        // The rest of the entry is still read, for its own mistakes.
        if (!fs::is_regular_file(p, ec)) c_.Report(Node(k), Key(k), "no such file: " + Utf8Name(p));
        return Utf8Name(p.lexically_normal());
    }
    Bytes FileBytes(const std::string& k) const {
        size_t known = c_.errors->size();
        std::string path = *SourceFile(k);
        if (c_.errors->size() > known) throw Abandoned{};  // no bytes to judge
        std::ifstream f(Utf8Path(path), std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(f)), {});
    }
    // At the key's line, or for a key left out, at the table's.
    [[noreturn]] void Fail(const std::string& k, const std::string& problem) const { c_.Fail(Where(k), Key(k), problem); }
    void Report(const std::string& k, const std::string& problem) const { c_.Report(Where(k), Key(k), problem); }
    const Context& context() const { return c_; }
    void Warn(const std::string& k, const std::string& problem) const { c_.Warn(Node(k), Key(k), problem); }
    // The table itself, for what concerns it as a whole.
    void WarnHere(const std::string& problem) const { c_.Warn(&t_, path_, problem); }
    [[noreturn]] void FailHere(const std::string& problem) const { c_.Fail(&t_, path_, problem); }

private:
    const toml::node* Where(const std::string& k) const { return Node(k) ? Node(k) : &t_; }
    std::string Below(const std::string& k) const { return table_.empty() ? k : table_ + "." + k; }

    const Context& c_;
    const toml::table& t_;
    std::string path_, table_;
};

// Runs `read`, which may give up on its entry or table; false when it did.
template <typename Read>
bool Attempt(Read&& read) {
    try {
        read();
        return true;
    } catch (const Abandoned&) {
        return false;
    }
}

// A delta base named in the manifest, resolved once every setup type is read.
struct PendingBase {
    EntryRef entry;
    int64_t type;       // the base's setup type
    std::string file;   // the base's target name
    const toml::node* node;
    std::string key;
};

const std::vector<std::string> kDestinations = {"install", "windows", "shared", "fonts"};
const std::vector<std::string> kPlacements = {"keep", "remove", "beside", "folder"};
const std::vector<std::string> kRoles = {"none", "document", "program"};
const std::vector<std::string> kActions = {"none", "screensaver", "selfregister"};
const std::vector<std::string> kRoots = {"HKCR", "HKCU", "HKLM", "HKU"};

// delta_base = "name" (a file of the same setup type) or
// delta_base = { type = N, file = "name" }.
std::optional<PendingBase> ReadDeltaBase(const Section& s, EntryRef entry) {
    const toml::node* n = s.Node("delta_base");
    if (!n) return std::nullopt;
    PendingBase b{entry, entry.type, {}, n, s.Key("delta_base")};
    if (n->is_string()) {
        b.file = *s.Text("delta_base");
    } else if (n->is_table()) {
        Section t = *s.Table("delta_base");
        b.type = t.Number("type", entry.type, 0, kMaxSetupTypes - 1);
        std::optional<std::string> file = t.Text("file");
        if (!file) t.Fail("file", "needs the target name of the base file");
        b.file = *file;
    } else {
        s.Fail("delta_base", "expected the target name of a file of this setup type, or { type = N, file = \"name\" }");
    }
    if (b.file.empty()) s.Fail("delta_base", "the base's target name must not be empty");
    for (char& ch : b.file)
        if (ch == '/') ch = '\\';
    return b;
}

bool SameTarget(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Finds each named base by its target name and checks that the setup
// program can build the file from it.
void ResolveDeltaBases(const Context& c, Product& p, const std::vector<PendingBase>& pending) {
    for (const PendingBase& b : pending) {
        if (b.type >= int64_t(p.types.size()))
            c.Fail(b.node, b.key, "there is no setup type " + std::to_string(b.type) + " (the product has " +
                                      std::to_string(p.types.size()) + ")");
        const std::vector<ProductFile>& files = p.types[size_t(b.type)].files;
        std::optional<uint32_t> found;
        for (uint32_t i = 0; i < files.size(); ++i) {
            if (!SameTarget(files[i].target, b.file)) continue;
            if (found)
                c.Fail(b.node, b.key, "setup type " + std::to_string(b.type) + " has more than one file '" + b.file + "'");
            found = i;
        }
        if (!found) c.Fail(b.node, b.key, "setup type " + std::to_string(b.type) + " has no file '" + b.file + "'");
        p.types[b.entry.type].files[b.entry.index].delta_base = EntryRef{uint16_t(b.type), *found};
    }
    // Checked once all are known: a base may not be a delta itself.
    for (const PendingBase& b : pending) {
        std::string problem = DeltaBaseProblem(p, b.entry, *FileAt(p, b.entry).delta_base);
        if (!problem.empty()) c.Fail(b.node, b.key, problem);
    }
}

// A text the setup program expands may name only install variables.
void CheckVariables(const Section& s, const std::string& key, const std::string& text) {
    std::string unknown = UnknownVariable(text);
    if (!unknown.empty()) s.Fail(key, unknown);
}

// removed_by_default: the setup type has Kiln's uninstaller, which is to
// take its files away again unless the manifest says "keep".
// A source file found by a pattern or in a folder, with its path below
// where the search began ('/' between pieces).
struct FoundSource {
    std::string path, relative;
};

bool IsPattern(const std::string& source) { return source.find_first_of("*?[") != std::string::npos; }

// The files a [[type.file]] names by a pattern in its last piece
// ("bin/*.dll") or as a folder ("dist/"), with recursive = true those of
// sub-folders too; sorted by their relative paths, so the package does
// not depend on the order the file system lists them in.
std::vector<FoundSource> FindSources(const Section& s) {
    std::string source = *s.Utf8Text("source");
    fs::path given = SourcePath(s.context().folder, source);
    bool pattern = IsPattern(Utf8Name(given.filename()));
    fs::path folder = pattern ? given.parent_path() : given;
    std::string match = pattern ? Utf8Name(given.filename()) : "";  // "": every file of a folder
    bool recursive = s.Flag("recursive", false);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) s.Fail("source", "no such folder: " + Utf8Name(folder));
    std::vector<FoundSource> found;
    for (const fs::path& relative : FilesIn(folder, recursive))
        if (match.empty() || NameMatchesPattern(match, Utf8Name(relative.filename())))
            found.push_back({Utf8Name((folder / relative).lexically_normal()), relative.generic_u8string()});
    if (found.empty()) s.Fail("source", "'" + source + "' matches no file");
    std::sort(found.begin(), found.end(), [](const FoundSource& a, const FoundSource& b) { return a.relative < b.relative; });
    return found;
}

// A source names several files when it holds a pattern or names a folder.
bool NamesSeveralFiles(const Section& s) {
    std::optional<std::string> source = s.Utf8Text("source");
    std::error_code ec;
    return source && !source->empty() && (IsPattern(Utf8Name(SourcePath({}, *source).filename())) ||
                                       source->back() == '/' || source->back() == '\\' ||
                                       fs::is_directory(SourcePath(s.context().folder, *source), ec));
}

ProductFile ReadFile(const Section& s, bool removed_by_default, const FoundSource* found = nullptr) {
    ProductFile f;
    f.placement = s.Choice("placement", kPlacements, removed_by_default ? 1 : 0);
    bool needs_source = f.placement <= 1;
    if (found) {
        f.source = found->path;
    } else if (needs_source) {
        std::optional<std::string> source = s.SourceFile("source");
        if (!source) s.Fail("source", "a file to install needs its source file");
        f.source = *source;
    }
    std::optional<std::string> target = s.Text("target");
    if (!target && f.source.empty()) s.Fail("target", "needs a target name");
    // A file found by a pattern or in a folder keeps its relative path, below `target` when given.
    std::string name = found ? found->relative : Utf8Name(Utf8Path(f.source).filename());
    if (found || !target) name = s.context().Ansi(s.Node("source"), s.Key("source"), name);
    f.target = found ? (target ? *target + "\\" : "") + name : target ? *target : name;
    if (f.target.empty()) s.Fail("target", "must not be empty");
    for (char& ch : f.target)
        if (ch == '/') ch = '\\';
    if (f.placement != kPlacementFolder && f.target.back() == '\\')
        s.Fail("target", "ends in a backslash, so it names no file");
    if (std::string fault = TargetFault(f.target, f.placement == kPlacementFolder); !fault.empty())
        s.Fail(s.Node("target") ? "target" : "source", "the target '" + f.target + "' " + fault);
    CheckVariables(s, "target", f.target);
    f.destination_kind = s.Choice("destination", kDestinations, 0);
    f.shared_count = s.Flag("shared_count", false) ? 1 : 0;
    if (f.shared_count && f.destination_kind == 0)
        s.Fail("shared_count", "only files outside the destination folder are counted as shared");
    f.role = s.Choice("role", kRoles, 0);
    f.install_action = s.Choice("action", kActions, 0);
    f.version_test = s.Flag("version_test", false);
    f.language_test = s.Flag("language_test", false);
    f.file_times = s.Flag("file_times", needs_source);
    f.uninstaller = s.Flag("uninstaller", false);
    if (auto g = s.Table("group_shortcut")) {
        f.group_folder = g->Text("folder").value_or("");
        CheckVariables(*g, "folder", f.group_folder);
        f.group_shortcut = g->Text("name").value_or("");
        f.group_arguments = g->Text("arguments").value_or("");
        f.icon_index = uint16_t(g->Number("icon", 0, 0, 0xFFFF));
    }
    if (auto d = s.Table("desktop_shortcut")) {
        f.desktop_shortcut = d->Text("name").value_or("");
        f.desktop_arguments = d->Text("arguments").value_or("");
    }
    return f;
}

// "group.index" = "text" overrides of the default texts, in `language`'s
// code page (the package's when null). Where the manifest names languages,
// a text keeps the format directives of the text it replaces, as every
// translation does; older manifests keep the looser check of
// CheckStringTable alone.
void ReadTexts(const Section& s, StringTable& texts, const Language* language = nullptr) {
    for (auto&& [key, node] : s.table()) {
        std::string k(key.str());
        int group = -1, index = -1;
        char dot = 0;
        std::istringstream in(k);
        if (!(in >> group >> dot >> index) || dot != '.' || !in.eof() || group < 0 || group >= kGroups || index < 0 ||
            index > 255)
            s.Fail(k, "expected a key \"group.index\" with group 0 to 10 and index 0 to 255");
        std::string text;
        if (node.is_table()) {
            // { text_file = "doc/licence.txt" }: a UTF-8 file's whole text.
            Section file = *s.Table(k, "texts.file");
            if (!file.Node("text_file")) file.Fail("text_file", "names the file that holds the text");
            Bytes bytes = file.FileBytes("text_file");
            std::string utf8(bytes.begin(), bytes.end());
            if (utf8.rfind("\xEF\xBB\xBF", 0) == 0) utf8.erase(0, 3);  // a byte order mark is no text
            if (utf8.find('\0') != std::string::npos) file.Fail("text_file", "a text cannot hold a NUL character");
            text = s.context().Ansi(file.Node("text_file"), file.Key("text_file"), utf8, language, true);
        } else if (node.is_string()) {
            text = s.context().Ansi(&node, s.Key(k), **node.as_string(), language, true);
        } else {
            s.Fail(k, "expected a text or { text_file = \"file\" }");
        }
        // An index past a group's texts would make empty texts of all between.
        size_t known = DefaultGroupTexts(group).size();
        if (known && size_t(index) >= known)
            s.Fail(k, "group " + std::to_string(group) + " has texts " + std::to_string(group) + ".0 to " +
                          std::to_string(group) + "." + std::to_string(known - 1));
        std::vector<std::string>& g = texts[size_t(group)];
        if (g.size() <= size_t(index)) g.resize(size_t(index) + 1);
        if (language || s.context().language) {
            std::string given = FormatDirectives(group, index, text), built_in = FormatDirectives(group, index, g[size_t(index)]);
            if (given != built_in)
                s.Fail(k, "format directives \"" + given + "\" where the built-in text has \"" + built_in +
                              "\": the setup program passes the same arguments in every language");
        }
        g[size_t(index)] = text;
    }
}

// Whether a setup type gets Kiln's uninstaller: every type with
// `uninstaller = true` in [setup], or a type that names its uninstall key
// while [setup] says nothing. A manifest that gives its own uninstaller
// program, or says `uninstaller = false`, gets none.
bool AsksForUninstaller(const Section& setup, const Section& type) {
    const toml::node* n = setup.Node("uninstaller");
    if (n && n->is_boolean()) return **n->as_boolean();
    if (n) return false;
    std::optional<std::string> key = type.Text("uninstall_key");
    return key && !key->empty();
}

// What Kiln's uninstaller could not take away again, or would collide with.
void CheckForUninstaller(const Section& f, const ProductFile& file) {
    if (file.uninstaller) f.Fail("uninstaller", "the setup type already gets Kiln's uninstaller ([setup] uninstaller)");
    if (file.destination_kind == 0 && SameTarget(file.target, kUninstallerTarget))
        f.Fail("target", std::string("is where Kiln's uninstaller goes (") + kUninstallerTarget + ")");
    if (file.destination_kind == 1 && file.placement == 1 && !file.shared_count)
        f.Fail("placement", "the uninstaller removes a file from the Windows folder only when it has a shared_count");
    // The uninstaller takes shared files and fonts only from directly in
    // their folder: one in a sub-folder would stay, and its count with it.
    const bool counted_or_font = file.shared_count || file.destination_kind == 3;
    if (counted_or_font && file.destination_kind != 0 && file.placement == 1 &&
        file.target.find_first_of("\\/") != std::string::npos)
        f.Fail("target", std::string("a ") + (file.destination_kind == 3 ? "font" : "shared file") +
                             " the uninstaller removes lies directly in its folder: no sub-folder");
}

// The finish page introduces the document button and the program check
// box when the type has them and the manifest leaves the words out.
void IntroduceFinishChoices(StringTable& texts, const std::vector<ProductFile>& files, const Language* language,
                            const CodePage& page) {
    std::vector<std::string>& finish = texts[kGroupFinish];
    if (finish.size() < 4) finish.resize(4);
    for (const ProductFile& f : files) {
        if (f.role == 1 && finish[2].empty())
            finish[2] = language ? LanguageNamedText(*language, "finish.document", page) : kDocumentIntroduction;
        if (f.role == 2 && finish[3].empty())
            finish[3] = language ? LanguageNamedText(*language, "finish.program", page) : kProgramIntroduction;
    }
}

// `language_texts`: [texts.<tag>] of the setup file's language.
ProductType ReadType(const Section& s, const std::string& title, const Section* setup, const Section* language_texts,
                     uint16_t index, std::vector<PendingBase>& bases, bool kiln_uninstaller) {
    ProductType t;
    // The type's own values each on their own, so that a mistake in one leaves the rest to be read.
    Attempt([&] { t.display_name = s.Text("name", true).value_or(title); });
    // The title names the uninstall key and the folder where the type does not.
    auto title_as = [&](const std::string& use) {
        if (setup) s.context().CheckName(setup->Node("title"), setup->Key("title"), title, ", as " + use + ",");
        return title;
    };
    Attempt([&] {
        t.uninstall_key = s.Node("uninstall_key") ? *s.Text("uninstall_key") : title_as("the uninstall key");
        if (kiln_uninstaller && t.uninstall_key->find('\\') != std::string::npos)
            s.Fail("uninstall_key", "names one key below the Uninstall key: no backslash");
    });
    Attempt([&] {
        t.default_folder = s.Node("folder") ? *s.Text("folder") : "#Program Files#\\" + title_as("the folder");
        CheckVariables(s, "folder", *t.default_folder);
    });
    Attempt([&] { t.folder_editable = s.Flag("folder_editable", true); });
    Attempt([&] {
        if (auto r = s.Table("remember_registry")) {
            t.registry_root = r->Choice("root", kRoots, 2);
            t.registry_key = r->Text("key");
            t.registry_value = r->Text("value").value_or("");
            if (!t.registry_key) r->Fail("key", "needs the registry key");
            t.remember_in_registry = true;
        }
    });
    Attempt([&] {
        if (auto i = s.Table("remember_ini")) {
            t.ini_file = i->Text("file"), t.ini_section = i->Text("section"), t.ini_key = i->Text("key");
            if (!t.ini_file || !t.ini_section || !t.ini_key) i->Fail("file", "needs file, section and key");
            t.remember_in_ini = true;
        }
    });
    Attempt([&] {
        if (auto u = s.Table("uninstall_entry")) {
            UninstallValues v;
            v.display_version = u->Text("display_version").value_or("");
            v.publisher = u->Text("publisher").value_or("");
            v.display_icon = u->Text("display_icon").value_or("");
            v.install_location = u->Flag("install_location", false);
            v.estimated_size = u->Flag("estimated_size", false);
            v.no_modify = u->Flag("no_modify", false);
            v.no_repair = u->Flag("no_repair", false);
            v.quiet_uninstall = u->Flag("quiet_uninstall", false);
            t.uninstall_values = v;
        }
    });
    const Language* language = s.context().language;
    if (language) t.texts = LanguageStringTable(*language, *s.context().code_page);
    else
        for (int g = 0; g < kGroups; ++g) t.texts[size_t(g)] = DefaultGroupTexts(g);
    if (t.texts[kGroupMessages].empty()) t.texts[kGroupMessages].resize(1);
    t.texts[kGroupMessages][0] = title;
    // Texts of [setup.texts] and [texts.<tag>] serve every type; a type's own [type.texts] come last.
    if (setup)
        if (auto texts = setup->Table("texts")) ReadTexts(*texts, t.texts);
    if (language_texts) ReadTexts(*language_texts, t.texts);
    if (auto texts = s.Table("texts")) ReadTexts(*texts, t.texts);
    std::vector<std::string> problems = CheckStringTable(t.texts);
    if (!problems.empty()) {
        if (s.Node("texts")) s.Fail("texts", problems.front());
        if (language_texts) language_texts->FailHere(problems.front());
        if (setup && setup->Node("texts")) setup->Fail("texts", problems.front());
        s.Fail("texts", problems.front());
    }
    // The uninstaller is the first entry, where another setup type's installation looks for it.
    if (kiln_uninstaller) t.files.push_back(UninstallerEntry(t.texts));
    std::vector<Section> files = s.Tables("file");
    if (files.empty() && !s.Node("ini") && !s.Node("registry") && !s.Node("patch"))
        s.WarnHere("the setup type installs nothing: it has no [[type.file]], ini, registry or patch entries");
    std::vector<TargetItem> items;
    std::vector<const Section*> section_of(t.files.size(), nullptr);  // of each entry; none for the uninstaller
    // Each [[type.file]] on its own: one with a mistake is left out, and the rest are still read.
    for (const Section& f : files)
        Attempt([&] {
            std::vector<ProductFile> read;
            std::optional<PendingBase> base;
            if (!NamesSeveralFiles(f)) {
                if (f.Node("recursive")) f.Fail("recursive", "applies to a source folder or pattern");
                base = ReadDeltaBase(f, {index, uint32_t(t.files.size())});
                read.push_back(ReadFile(f, kiln_uninstaller));
            } else {
                for (const char* one : {"delta_base", "group_shortcut", "desktop_shortcut", "role"})
                    if (f.Node(one)) f.Fail(one, "belongs to a single file, not to a folder or pattern");
                for (const FoundSource& found : FindSources(f)) read.push_back(ReadFile(f, kiln_uninstaller, &found));
            }
            if (kiln_uninstaller)
                for (const ProductFile& one : read) CheckForUninstaller(f, one);
            if (base) bases.push_back(*base);
            for (ProductFile& one : read) {
                t.files.push_back(std::move(one));
                section_of.push_back(&f);
            }
        });
    for (const ProductFile& f : t.files)
        items.push_back({f.target, f.destination_kind, f.placement == kPlacementFolder, f.placement != kPlacementBesideSetup});
    for (const TargetClash& c : TargetClashes(items))
        section_of[c.entry] ? section_of[c.entry]->Report("target", c.problem) : s.Report("file", c.problem);
    IntroduceFinishChoices(t.texts, t.files, language, *s.context().code_page);
    for (const Section& e : s.Tables("ini"))
        Attempt([&] {
            IniEntry i;
            for (auto [field, out] : {std::pair{"file", &i.file}, {"section", &i.section}, {"key", &i.key}}) {
                std::optional<std::string> v = e.Text(field);
                if (!v || v->empty()) e.Fail(field, "is required");
                *out = *v;
            }
            i.value = e.Text("value").value_or("");
            i.keep_existing = e.Flag("keep_existing", false);
            t.ini.push_back(i);
        });
    for (const Section& e : s.Tables("registry"))
        Attempt([&] {
            RegistryEntry r;
            r.root = e.Choice("root", kRoots, 1);
            std::optional<std::string> key = e.Text("key");
            if (!key) e.Fail("key", "is required");
            r.key = *key;
            r.name = e.Text("name").value_or("");
            r.data = e.Text("data").value_or("");
            r.keep_existing = e.Flag("keep_existing", false);
            t.registry.push_back(r);
        });
    for (const Section& e : s.Tables("patch"))
        Attempt([&] {
            PatchEntry p;
            std::optional<std::string> file = e.Text("file");
            if (!file) e.Fail("file", "is required");
            p.file = *file;
            p.data = e.Text("data").value_or("");
            bool has_offset = e.Node("offset");
            std::optional<std::string> pattern = e.Text("pattern");
            if (has_offset == bool(pattern)) e.Fail("offset", "give either an offset or a pattern");
            if (has_offset) p.offset = uint32_t(e.Number("offset", 0, 0, 0xFFFFFFFE));
            if (pattern) {
                if (pattern->empty() || pattern->size() > 16384) e.Fail("pattern", "must hold 1 to 16384 bytes");
                p.pattern.assign(pattern->begin(), pattern->end());
            }
            t.patches.push_back(p);
        });
    return t;
}

// volume_size: bytes as a number, a text with a K or M suffix (1024 and
// 1024 * 1024), or "floppy" for what a formatted 1.44 MB disk holds.
uint32_t VolumeSize(const Section& setup) {
    const toml::node* n = setup.Node("volume_size");
    if (!n || !n->is_string()) return uint32_t(setup.Number("volume_size", 0, 5, 0x7FFFFFFF));
    std::string text = *setup.Text("volume_size");
    std::optional<uint64_t> size = text == "floppy" ? std::optional<uint64_t>(kFloppyBytes) : SizeWithUnit(text);
    if (!size) setup.Fail("volume_size", "expected bytes, such as 1457664, \"1400K\", \"650M\" or \"floppy\"");
    if (*size < 5 || *size > 0x7FFFFFFF) setup.Fail("volume_size", "must lie between 5 and 2147483647 bytes");
    return uint32_t(*size);
}

// lzma_window: the window the setup program decodes solid blocks through,
// which bounds the memory it needs: a power of two from 4K to 64M.
uint32_t LzmaWindow(const Section& setup) {
    const toml::node* n = setup.Node("lzma_window");
    if (!n) return kMaxSolidDictionary;
    std::optional<uint64_t> size =
        n->is_string() ? SizeWithUnit(*setup.Text("lzma_window")) : uint64_t(setup.Number("lzma_window", 0, 0, 1u << 30));
    if (!size || *size < kLzmaMinDictionary || *size > kMaxSolidDictionary || (*size & (*size - 1)))
        setup.Fail("lzma_window", "must be a power of two from 4K to 64M, such as \"16M\"");
    return uint32_t(*size);
}

// A BMP file named by `key`, refused unless the setup program can draw it.
Bytes Picture(const Section& s, const std::string& key) {
    Bytes bytes = s.FileBytes(key);
    if (!ValidatePicture(bytes.data(), uint32_t(bytes.size())))
        s.Fail(key, "must be an uncompressed, bottom-up BMP file with a 40-byte BITMAPINFOHEADER");
    return bytes;
}

// What Explorer and the elevation prompt show of the setup file. Installs
// into Program Files need an administrator unless `privileges` says
// otherwise.
SetupIdentity ReadIdentity(const Section& setup, const std::vector<ProductType>& types) {
    SetupIdentity id;
    id.product_name = *setup.Utf8Text("title");
    id.version = setup.Utf8Text("version").value_or("");
    std::array<uint16_t, 4> parts;
    if (setup.Node("version") && !ReadVersionText(id.version, parts))
        setup.Fail("version", "expected one to four numbers 0 to 65535 with dots between, such as \"1.2.3.4\"");
    id.company = setup.Utf8Text("company").value_or("");
    id.description = setup.Utf8Text("description").value_or(id.product_name + " Setup");
    id.copyright = setup.Utf8Text("copyright").value_or("");
    if (setup.Node("icon")) {
        Bytes ico = setup.FileBytes("icon");
        std::string problem = IconProblem(ico);
        if (!problem.empty()) setup.Fail("icon", *setup.SourceFile("icon") + " " + problem);
        id.icon = std::move(ico);
    }
    const std::string program_files = "#Program Files#";
    bool into_program_files = std::any_of(types.begin(), types.end(), [&](const ProductType& t) {
        return t.default_folder && SameTarget(t.default_folder->substr(0, program_files.size()), program_files);
    });
    id.administrator = setup.Choice("privileges", {"user", "admin"}, into_program_files ? 1 : 0) == 1;
    return id;
}

}  // namespace

namespace {

// The manifest's text with each ${name} replaced by its value from -D.
std::string Substitute(const std::string& path, const Defines& defines) {
    std::ifstream in(Utf8Path(path), std::ios::binary);
    if (!in) throw ManifestError(path + ": cannot read the manifest");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::string out;
    size_t line = 1, from = 0;
    for (size_t at = text.find("${"); at != std::string::npos; at = text.find("${", from)) {
        line += size_t(std::count(text.begin() + long(from), text.begin() + long(at), '\n'));
        size_t close = text.find('}', at);
        std::string name = text.substr(at + 2, close == std::string::npos ? 0 : close - at - 2);
        auto found = defines.find(name);
        if (close == std::string::npos || found == defines.end()) {
            std::vector<std::string> known;
            for (const auto& [k, v] : defines) known.push_back(k);
            std::string near = Suggestion(name, known);
            throw ManifestError(path + ":" + std::to_string(line) + ": ${" + name + "}: no such define (kiln build -D " +
                                (name.empty() ? "name" : name) + "=value)" +
                                (near.empty() ? "" : "; did you mean ${" + near + "}?"));
        }
        out.append(text, from, at - from).append(found->second);
        from = close + 1;
    }
    return out.append(text, from, std::string::npos);
}

}  // namespace

Defines ParseDefines(const std::vector<std::string>& given) {
    Defines defines;
    for (const std::string& d : given) {
        size_t eq = d.find('=');
        std::string name = d.substr(0, eq);
        bool word = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '-';
        });
        if (eq == std::string::npos || !word) throw ManifestError("-D " + d + ": expected name=value");
        // A line break would move every later line the messages name.
        if (d.find_first_of("\r\n", eq) != std::string::npos) throw ManifestError("-D " + name + ": a value is one line");
        defines[name] = d.substr(eq + 1);
    }
    return defines;
}

namespace {

// A TOML syntax error at the line of the mistake: a [name] header that a
// later [[name]] cannot extend is reported at the [name], where the
// author left out a bracket, rather than at the [[name]].
std::string SyntaxError(const std::string& path, const std::string& text, size_t line, const std::string& description) {
    const std::string marker = "existing table '";
    size_t at = description.find(marker);
    if (at != std::string::npos && description.find("array-of-tables") != std::string::npos) {
        std::string name = description.substr(at + marker.size());
        name = name.substr(0, name.find('\''));
        std::istringstream lines(text);
        size_t number = 0;
        for (std::string l; std::getline(lines, l);) {
            ++number;
            l.erase(std::remove_if(l.begin(), l.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r'; }), l.end());
            if (l.rfind("[" + name + "]", 0) == 0)
                return path + ":" + std::to_string(number) + ": [" + name + "] makes one table, but line " +
                       std::to_string(line) + " adds a [[" + name + "]]: write [[" + name + "]] here";
        }
    }
    return path + ":" + std::to_string(line) + ": " + description;
}

}  // namespace

std::optional<uint64_t> SizeWithUnit(const std::string& text) {
    size_t digits = text.find_first_not_of("0123456789");
    if (digits == 0 || text.size() > 12) return std::nullopt;
    uint64_t value = std::stoull(text.substr(0, digits));
    std::string unit = digits == std::string::npos ? "" : text.substr(digits);
    if (unit.empty()) return value;
    if (unit == "K" || unit == "k") return value << 10;
    if (unit == "M" || unit == "m") return value << 20;
    return std::nullopt;
}

namespace {

// The product as the manifest describes it. A mistake in one value, entry
// or table is noted in c.errors and reading goes on with the next, so that
// one run names them all; the checks across the whole product come last,
// and only when all that they compare was read.
// [setup] languages = ["de", ...]: each a known language whose code page
// kiln can write. The first is that of the described records and the
// language shown where the system matches no other.
std::vector<const Language*> ReadLanguages(const Section& setup) {
    std::vector<const Language*> languages;
    const toml::node* n = setup.Node("languages");
    if (!n) return languages;
    const toml::array* list = n->as_array();
    if (!list || list->empty()) setup.Fail("languages", "expected a list of language tags, such as [\"de\"]");
    const Context& c = setup.context();
    for (size_t i = 0; i < list->size(); ++i) {
        const toml::node& item = *list->get(i);
        std::string key = setup.Key("languages") + "[" + std::to_string(i) + "]";
        if (!item.is_string()) c.Fail(&item, key, "expected a language tag, such as \"de\"");
        std::string tag = **item.as_string();
        const Language* l = FindLanguage(tag);
        if (!l) {
            std::string known, near = Suggestion(tag, LanguageTags());
            for (const std::string& t : LanguageTags()) known += (known.empty() ? "" : ", ") + t;
            c.Report(&item, key, "unknown language \"" + tag + "\"" + (near.empty() ? "" : " (did you mean " + near + "?)") +
                                     "; kiln knows " + known);
        } else if (!CodePageNumbered(l->code_page)) {
            c.Report(&item, key, l->name + " (" + tag + ") needs Windows code page " + std::to_string(l->code_page) +
                                     ", which this version of kiln cannot write yet");
        } else if (std::count(languages.begin(), languages.end(), l)) {
            c.Report(&item, key, "\"" + tag + "\" is listed twice");
        } else {
            languages.push_back(l);
        }
    }
    return languages;
}

// [texts.<tag>] of each listed language, where the manifest has one.
std::vector<std::optional<Section>> ReadLanguageTexts(const Section& top, const std::vector<const Language*>& languages) {
    std::vector<std::optional<Section>> texts;
    std::optional<Section> all = top.Table("texts");
    for (const Language* l : languages) texts.push_back(all ? all->Table(l->tag, "setup.texts") : std::nullopt);
    if (all)
        for (auto&& [key, node] : all->table()) {
            std::string tag(key.str());
            if (std::none_of(languages.begin(), languages.end(), [&](const Language* l) { return l->tag == tag; }))
                all->Report(tag, "[setup] languages does not name \"" + tag + "\"");
        }
    return texts;
}

// A language after the first, for the setup file's own records: each
// type's texts (the language's defaults, the title and [texts.<tag>], in
// its code page) and the dialog templates with its captions, where the
// manifest gives no templates of its own. [setup.texts] and [type.texts]
// belong to the first language.
ProductLanguage OtherLanguage(const Section& setup, const Language& language, const std::optional<Section>& texts,
                              const Product& p, const std::vector<std::string>& template_keys) {
    const Context& c = setup.context();
    const CodePage& page = *CodePageNumbered(language.code_page);
    ProductLanguage l{language.langid, uint16_t(language.code_page), language.tag, {}, {}};
    std::string title = c.Ansi(setup.Node("title"), setup.Key("title"), setup.Utf8Text("title").value_or(""), &language, true);
    for (const ProductType& t : p.types) {
        StringTable table = LanguageStringTable(language, page);
        if (table[kGroupMessages].empty()) table[kGroupMessages].resize(1);
        table[kGroupMessages][0] = title;
        if (texts) ReadTexts(*texts, table, &language);
        IntroduceFinishChoices(table, t.files, &language, page);
        std::vector<std::string> problems = CheckStringTable(table);
        if (!problems.empty()) texts ? texts->FailHere(problems.front()) : setup.Fail("languages", problems.front());
        l.type_texts.push_back(std::move(table));
    }
    l.dialog_templates = DefaultDialogTemplates(LanguageCaptions(language));
    for (size_t number = 0; number < template_keys.size(); ++number)
        if (!template_keys[number].empty()) l.dialog_templates[number] = p.dialog_templates[number];
    return l;
}

// A text the author gives in one listed language but not in another: that
// other language shows its built-in text, likely not what was meant.
// [setup.texts] counts for the first language.
void WarnOfUnevenTexts(const Section& setup, const std::vector<const Language*>& languages,
                       const std::vector<std::optional<Section>>& texts) {
    if (languages.size() < 2) return;
    std::vector<std::set<std::string>> given(languages.size());
    std::set<std::string> any;
    for (size_t i = 0; i < languages.size(); ++i) {
        std::vector<const Section*> sources = {texts[i] ? &*texts[i] : nullptr};
        std::optional<Section> setup_texts = i == 0 ? setup.Table("texts") : std::nullopt;
        if (setup_texts) sources.push_back(&*setup_texts);
        for (const Section* source : sources)
            if (source)
                for (auto&& [key, node] : source->table()) {
                    given[i].insert(std::string(key.str()));
                    any.insert(std::string(key.str()));
                }
    }
    for (size_t i = 0; i < languages.size(); ++i)
        for (const std::string& key : any) {
            if (given[i].count(key)) continue;
            size_t other = 0;
            while (!given[other].count(key)) ++other;
            std::string problem = "\"" + key + "\" is given for " + languages[other]->tag + " but not for " +
                                  languages[i]->tag + ", which shows its built-in text";
            texts[i] ? texts[i]->WarnHere(problem) : setup.Warn("languages", problem);
        }
}

Product ReadProduct(Context& c, const toml::table& root) {
    Section top(c, root, "", "");
    std::optional<Section> setup = top.Table("setup");
    if (!setup) c.Fail(nullptr, "setup", "the manifest needs a [setup] table with at least a title");
    // The language comes first: its code page is that of every text read after it.
    std::vector<const Language*> languages;
    Attempt([&] { languages = ReadLanguages(*setup); });
    if (!languages.empty()) {
        c.language = languages[0];
        c.code_page = CodePageNumbered(languages[0]->code_page);
    }
    std::vector<std::optional<Section>> language_texts;
    Attempt([&] { language_texts = ReadLanguageTexts(top, languages); });
    language_texts.resize(languages.size());
    Attempt([&] { WarnOfUnevenTexts(*setup, languages, language_texts); });
    Product p;
    if (!languages.empty())
        p.languages.push_back({languages[0]->langid, uint16_t(languages[0]->code_page), languages[0]->tag, {}, {}});
    std::string title;
    Attempt([&] {
        std::optional<std::string> given = setup->Text("title", true);
        if (!given || given->empty()) setup->Fail("title", "the product needs a title");
        title = *given;
    });
    Attempt([&] { p.full_screen = setup->Flag("full_screen", false); });
    Attempt([&] { p.remove_other_types = setup->Flag("remove_other_types", false); });
    Attempt([&] {
        if (std::optional<std::string> pacing = setup->Text("pacing")) {
            if (*pacing != "timed" && *pacing != "described")
                setup->Fail("pacing", "is \"timed\" (entries until a tick's time is used) or \"described\" (one entry per tick)");
            p.timed_steps = *pacing == "timed";
        }
    });
    Attempt([&] {
        if (setup->Node("start_page")) p.start_page = uint16_t(setup->Number("start_page", 0, 0, 8));
    });
    // compression: a level of the per-file streams, or the mode by name.
    Attempt([&] {
        if (const toml::node* n = setup->Node("compression"); n && n->is_string()) {
            std::optional<std::string> mode = setup->Text("compression");
            if (*mode != "deflate" && *mode != "lzma")
                setup->Fail("compression", "is \"deflate\" (the default), \"lzma\" (solid blocks) or a level, 1 to 13");
            p.solid_lzma = *mode == "lzma";
        } else {
            p.level = int(setup->Number("compression", 0, 1, 13));
        }
    });
    Attempt([&] { p.lzma_window = LzmaWindow(*setup); });
    // A volume file holds its 4-byte length and at least one archive byte.
    Attempt([&] { p.volume_size = VolumeSize(*setup); });
    Attempt([&] { p.auto_delta = setup->Flag("auto_delta", true); });
    Attempt([&] {
        p.x64 = setup->Choice("architecture", {"x86", "x64"}, 0) == 1;
        p.pack_stub = setup->Flag("pack_stub", false);
        if (p.x64 && p.pack_stub) setup->Fail("pack_stub", "only the 32-bit (x86) setup program can be packed");
    });
    // uninstaller = true: Kiln's own; a file name: the manifest's own program.
    Attempt([&] {
        if (const toml::node* n = setup->Node("uninstaller"); n && !n->is_boolean()) {
            if (!n->is_string()) setup->Fail("uninstaller", "expected true, false or the uninstaller program's file");
            p.uninstaller = setup->FileBytes("uninstaller");
        }
    });
    Attempt([&] {
        if (setup->Node("background_picture")) p.background_picture = Picture(*setup, "background_picture");
    });
    // The side picture: a BMP file, false for none, or (true, left out) the default.
    Attempt([&] {
        if (!setup->Node("side_picture") || setup->Node("side_picture")->is_boolean()) {
            if (setup->Flag("side_picture", true)) p.side_picture = DefaultSidePicture();
        } else {
            p.side_picture = Picture(*setup, "side_picture");
        }
    });
    Attempt([&] { p.background_title = setup->Text("background_title", true).value_or(title); });
    TitleLook look;
    Attempt([&] {
        if (auto font = setup->Table("title_font")) {
            look.face = font->Text("face").value_or(look.face);
            if (look.face.size() >= kFaceNameSize) font->Fail("face", "a font name holds at most 31 characters");
            look.height = int(font->Number("height", look.height, 1, 500));
            look.weight = int(font->Number("weight", look.weight, 0, 1000));
            look.italic = font->Flag("italic", look.italic);
            look.colour = uint32_t(font->Number("color", look.colour, 0, 0xFFFFFF));
            look.shadow = uint32_t(font->Number("shadow", look.shadow, 0, 0xFFFFFF));
        }
    });
    p.background_description = BackgroundDescription(look);

    p.dialog_templates = DefaultDialogTemplates(c.language ? LanguageCaptions(*c.language) : DialogCaptions{});
    std::optional<Section> dialogs;
    Attempt([&] {
        if (auto found = top.Table("dialogs")) dialogs.emplace(*found);
    });
    std::vector<std::string> template_keys(p.dialog_templates.size(), "");
    if (dialogs && dialogs->Node("resources"))
        Attempt([&] {
            // A compiled resource file: its dialogs numbered 0 to 8 replace those templates.
            std::map<uint16_t, Bytes> found;
            try {
                found = DialogResources(dialogs->FileBytes("resources"));
            } catch (const std::runtime_error& e) {
                dialogs->Fail("resources", e.what());
            }
            for (auto& [number, dialog] : found)
                if (number < p.dialog_templates.size()) {
                    p.dialog_templates[number] = dialog;
                    template_keys[number] = "resources";
                }
        });
    const std::vector<std::string> dialog_keys = KeysOf("dialogs");
    if (dialogs)
        for (auto&& [key, node] : dialogs->table()) {
            std::string k(key.str());
            // An unknown key is noted already.
            if (k == "resources" || !std::count(dialog_keys.begin(), dialog_keys.end(), k)) continue;
            Attempt([&] {
                size_t number = std::stoul(k);
                p.dialog_templates[number] = dialogs->FileBytes(k);
                template_keys[number] = k;
            });
        }

    std::vector<Section> types = top.Tables("type");
    if (types.empty() || types.size() > size_t(kMaxSetupTypes))
        c.Fail(top.Node("type"), "type", "a product has one to six [[type]] tables");
    std::vector<PendingBase> bases;
    for (size_t i = 0; i < types.size(); ++i)
        Attempt([&] {
            bool kiln_uninstaller = AsksForUninstaller(*setup, types[i]);
            p.types.push_back(ReadType(types[i], title, &*setup,
                                       language_texts.empty() || !language_texts[0] ? nullptr : &*language_texts[0],
                                       uint16_t(i), bases, kiln_uninstaller));
            p.kiln_uninstaller = p.kiln_uninstaller || kiln_uninstaller;
        });
    for (size_t i = 1; i < languages.size(); ++i)
        Attempt([&] { p.languages.push_back(OtherLanguage(*setup, *languages[i], language_texts[i], p, template_keys)); });
    if (languages.size() > 1)
        for (const Section& t : types)
            if (t.Node("texts"))
                t.Warn("texts", "a type's own texts serve only the first language, " + languages[0]->tag +
                                    "; the others show their built-in texts there");
    // What follows compares parts read above, which must all be there.
    if (!c.errors->empty()) throw Abandoned{};
    ResolveDeltaBases(c, p, bases);
    // Setup types that share an uninstall entry share one uninstaller file
    // per folder: a second type installed over the first would replace its
    // log and strand its files. Removing the other types' installation
    // first (remove_other_types) makes the second install a replacement.
    for (size_t a = 0; a < p.types.size(); ++a)
        for (size_t b = a + 1; b < p.types.size(); ++b) {
            const ProductType &first = p.types[a], &second = p.types[b];
            if (!first.uninstall_key || !second.uninstall_key || !SameTarget(*first.uninstall_key, *second.uninstall_key) ||
                !(first.files.size() && first.files[0].uninstaller) || !(second.files.size() && second.files[0].uninstaller))
                continue;
            if (setup->Node("remove_other_types") && !p.remove_other_types)
                setup->Fail("remove_other_types",
                            "setup types " + std::to_string(a) + " and " + std::to_string(b) + " share the uninstall entry \"" +
                                *first.uninstall_key +
                                "\": installing one over the other must remove it first; give each type its own "
                                "uninstall_key, or leave remove_other_types on");
            p.remove_other_types = true;
        }
    for (size_t number = 0; dialogs && number < p.dialog_templates.size(); ++number) {
        if (template_keys[number].empty()) continue;
        if (auto problem = TemplateProblem(int(number), p.dialog_templates[number], int(p.types.size())))
            dialogs->Fail(template_keys[number], *problem);
    }
    p.initial_type = uint16_t(setup->Number("initial_type", 0, 0, int64_t(p.types.size()) - 1));
    p.identity = ReadIdentity(*setup, p.types);
    return p;
}

// "file:line: ..." by its line; a message without one comes first.
size_t LineOf(const std::string& message, const std::string& file) {
    if (message.compare(0, file.size() + 1, file + ":") != 0) return 0;
    const char* digits = message.c_str() + file.size() + 1;
    return std::isdigit(static_cast<unsigned char>(*digits)) ? std::strtoul(digits, nullptr, 10) : 0;
}

}  // namespace

Product LoadManifest(const std::string& path, std::vector<std::string>* warnings, const Defines& defines) {
    std::vector<std::string> errors;
    Context c;
    c.file = path;
    c.warnings = warnings;
    c.errors = &errors;
    c.folder = fs::absolute(Utf8Path(path)).parent_path();
    toml::table root;
    std::string text = Substitute(path, defines);
    try {
        root = toml::parse(text, path);
    } catch (const toml::parse_error& e) {
        throw ManifestError(SyntaxError(path, text, e.source().begin.line, std::string(e.description())));
    }
    Product p;
    Attempt([&] { p = ReadProduct(c, root); });
    if (errors.empty()) return p;
    // Each once (a table read for every setup type notes its mistake each
    // time), in the manifest's order.
    std::vector<std::string> once;
    for (const std::string& e : errors)
        if (std::find(once.begin(), once.end(), e) == once.end()) once.push_back(e);
    std::stable_sort(once.begin(), once.end(),
                     [&](const std::string& a, const std::string& b) { return LineOf(a, path) < LineOf(b, path); });
    throw ManifestError(once);
}
