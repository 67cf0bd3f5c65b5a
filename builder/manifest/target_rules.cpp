#include "builder/manifest/target_rules.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

#include "package/package_format.h"

const std::vector<std::string> kInstallVariables = {"#Windows#",    "#System#",     "#Program Files#", "#InstallDir#",
                                                    "#SourceDir#",  "#Date#",       "#Start Menu#",    "#Startup#"};

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool IsDeviceName(const std::string& piece) {
    std::string stem = Upper(piece.substr(0, piece.find('.')));
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* d : kDevices)
        if (stem == d) return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '0' &&
           stem[3] <= '9';
}

size_t Distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t up = row[j];
            bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                        std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

}  // namespace

std::vector<std::string> TargetPieces(const std::string& target, bool folder_entry) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        size_t end = target.find_first_of("\\/", start);
        pieces.push_back(target.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    // A folder entry ends in a backslash.
    if (folder_entry && pieces.size() > 1 && pieces.back().empty()) pieces.pop_back();
    return pieces;
}

std::string PieceFault(const std::string& piece) {
    if (piece.empty()) return "an empty path piece";
    if (piece.find_first_not_of('.') == std::string::npos) return "a path piece '" + piece + "'";
    for (char c : piece) {
        if (static_cast<unsigned char>(c) < 0x20) return "a control character";
        if (std::strchr("<>\"|?*:", c)) return std::string("the character '") + c + "'";
    }
    if (piece.back() == '.' || piece.back() == ' ') return "a path piece ending in '" + std::string(1, piece.back()) + "'";
    if (IsDeviceName(piece)) return "the device name '" + piece + "'";
    return {};
}

std::string TargetFault(const std::string& target, bool folder_entry) {
    if (target.empty()) return "is an empty name";
    if (target[0] == '\\' || target[0] == '/') return "is an absolute path";
    if (target.size() > 1 && target[1] == ':') return "is a drive letter";
    for (const std::string& piece : TargetPieces(target, folder_entry)) {
        std::string fault = PieceFault(piece);
        if (!fault.empty()) return "holds " + fault;
    }
    return {};
}

std::string Suggestion(const std::string& word, const std::vector<std::string>& known) {
    std::string best;
    size_t best_distance = std::max<size_t>(2, word.size() / 3) + 1;
    for (const std::string& k : known) {
        size_t d = Distance(word, k);
        if (d < best_distance) best = k, best_distance = d;
    }
    return best;
}

std::string UnknownVariable(const std::string& text) {
    for (size_t open = text.find('#'); open != std::string::npos;) {
        size_t close = text.find('#', open + 1);
        if (close == std::string::npos) return {};
        std::string name = text.substr(open, close - open + 1);
        // Only words between the marks look like a variable.
        bool word = close > open + 1 && std::isalpha(static_cast<unsigned char>(name[1])) &&
                    std::isalpha(static_cast<unsigned char>(name[name.size() - 2])) &&
                    std::all_of(name.begin() + 1, name.end() - 1, [](char c) {
                        return std::isalpha(static_cast<unsigned char>(c)) || c == ' ';
                    });
        if (!word) {
            open = close;
            continue;
        }
        bool known = std::any_of(kInstallVariables.begin(), kInstallVariables.end(),
                                 [&](const std::string& v) { return Distance(v, name) == 0; });
        if (!known) {
            std::string near = Suggestion(name, kInstallVariables);
            return "'" + name + "' is no install variable" + (near.empty() ? "" : " (did you mean '" + near + "'?)");
        }
        open = text.find('#', close + 1);
    }
    return {};
}

std::vector<TargetClash> TargetClashes(const std::vector<TargetItem>& items) {
    std::vector<TargetClash> clashes;
    // Windows compares names without case; a shared file lands by its name alone.
    auto key = [](const TargetItem& t) {
        std::string name = t.target;
        std::replace(name.begin(), name.end(), '/', '\\');
        if (t.destination_kind == kDestinationShared) name = name.substr(name.find_last_of('\\') + 1);
        while (!name.empty() && name.back() == '\\') name.pop_back();
        return std::to_string(t.destination_kind > kDestinationFonts ? 0 : t.destination_kind) + ":" + Upper(name);
    };
    std::map<std::string, size_t> files, folders;  // key -> first entry
    auto describe = [&](size_t i) { return "entry " + std::to_string(i) + " ('" + items[i].target + "')"; };
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].installed) continue;
        std::string k = key(items[i]);
        if (!items[i].folder) {
            auto [at, added] = files.emplace(k, i);
            if (!added) clashes.push_back({i, describe(i) + " names the same file as " + describe(at->second)});
        }
        // Each folder above the entry (and a folder entry itself) must not be a file.
        for (size_t cut = k.find('\\'); cut != std::string::npos; cut = k.find('\\', cut + 1)) folders.emplace(k.substr(0, cut), i);
        if (items[i].folder) folders.emplace(k, i);
    }
    for (auto& [k, i] : files)
        if (auto f = folders.find(k); f != folders.end())
            clashes.push_back({std::max(i, f->second), describe(i) + " is a file, but " + describe(f->second) +
                                                           " needs it as a folder"});
    return clashes;
}
