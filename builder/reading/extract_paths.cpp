#include "builder/reading/extract_paths.h"

#include <vector>

#include "builder/manifest/target_rules.h"
#include "package/file_list.h"
#include "package/package_format.h"

std::string ExtractPath(const uint8_t* entry, std::string* refusal) {
    std::string name = EntryString(entry, 0);
    std::string fault = TargetFault(name, entry[kEntryPlacement] == kPlacementFolder);
    if (!fault.empty()) {
        *refusal = "its name '" + name + "' " + fault;
        return {};
    }
    std::vector<std::string> pieces = TargetPieces(name, entry[kEntryPlacement] == kPlacementFolder);
    const char* folder = nullptr;
    switch (entry[kEntryDestinationKind]) {
    case kDestinationWindows: folder = "#Windows#"; break;
    case kDestinationShared: folder = "#System#"; break;
    case kDestinationFonts: folder = "#Fonts#"; break;
    }
    std::string path = folder ? folder : "";
    // A shared file lands by its name alone.
    if (entry[kEntryDestinationKind] == kDestinationShared) pieces.erase(pieces.begin(), pieces.end() - 1);
    for (const std::string& piece : pieces) path += (path.empty() ? "" : "/") + piece;
    return path;
}
