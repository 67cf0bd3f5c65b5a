#include "builder/extract_paths.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "package/file_list.h"
#include "package/package_format.h"

namespace {

bool IsDeviceName(std::string piece) {
    piece = piece.substr(0, piece.find('.'));
    for (char& c : piece) c = char(std::toupper(static_cast<unsigned char>(c)));
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* d : kDevices)
        if (piece == d) return true;
    return piece.size() == 4 && (piece.compare(0, 3, "COM") == 0 || piece.compare(0, 3, "LPT") == 0) &&
           piece[3] >= '0' && piece[3] <= '9';
}

// Why a path piece cannot be written as it stands; "" when it can.
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

}  // namespace

std::string ExtractPath(const uint8_t* entry, std::string* refusal) {
    std::string name = EntryString(entry, 0);
    const char* whole = name.empty()                                 ? "an empty name"
                        : name[0] == '\\' || name[0] == '/'          ? "an absolute path"
                        : name.size() > 1 && name[1] == ':'           ? "a drive letter"
                                                                      : nullptr;
    if (whole) {
        *refusal = "its name '" + name + "' is " + whole;
        return {};
    }
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        size_t end = name.find_first_of("\\/", start);
        pieces.push_back(name.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    // A folder entry ends in a backslash.
    if (entry[kEntryPlacement] == kPlacementFolder && pieces.size() > 1 && pieces.back().empty()) pieces.pop_back();
    const char* folder = nullptr;
    switch (entry[kEntryDestinationKind]) {
    case kDestinationWindows: folder = "#Windows#"; break;
    case kDestinationShared: folder = "#System#"; break;
    case kDestinationFonts: folder = "#Fonts#"; break;
    }
    std::string path = folder ? folder : "";
    for (const std::string& piece : pieces) {
        std::string fault = PieceFault(piece);
        if (!fault.empty()) {
            *refusal = "its name '" + name + "' holds " + fault;
            return {};
        }
    }
    // A shared file lands by its name alone.
    if (entry[kEntryDestinationKind] == kDestinationShared) pieces.erase(pieces.begin(), pieces.end() - 1);
    for (const std::string& piece : pieces) path += (path.empty() ? "" : "/") + piece;
    return path;
}
