#include "builder/reading/setup_extractor.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "builder/reading/extract_paths.h"
#include "builder/reading/package_check.h"
#include "package/file_list.h"
#include "package/package_format.h"
#include "builder/system/file_system.h"

namespace fs = std::filesystem;

namespace {

struct Planned {
    const uint8_t* entry;
    fs::path path;
};

// Last access and last write from the entry's file-time block, when it has one.
void SetEntryTimes(const fs::path& path, const uint8_t* e) {
    uint8_t flags = e[kEntryFlags];
    if (!(flags & kEntryHasFileTimes)) return;
    const uint8_t* times = e + EntryStringsOffset(flags) - kEntryFileTimesSize;
    auto u64 = [](const uint8_t* p) { return ReadU32(p) | uint64_t(ReadU32(p + 4)) << 32; };
    SetFileTimes(path, u64(times + 8), u64(times + 16));
}

// True when no piece of path below root exists as a symbolic link, which
// could lead a write out of the folder.
bool FreeOfLinks(const fs::path& root, const fs::path& relative) {
    fs::path at = root;
    for (const fs::path& piece : relative) {
        at /= piece;
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(at, ec))) return false;
    }
    return true;
}

}  // namespace

int ExtractSetup(const std::string& setup, const std::string& folder, int type) {
    Bytes bytes = ReadWholeFile(setup);
    PackageView v = CheckPackage(bytes, setup);
    if (type < 0) {
        type = 0;
        for (const ReadRecord& r : v.file.records)
            if (r.tag == kTagStartPage && r.body.size() >= 4) type = ReadU16(r.body.data() + 2);
    }
    if (size_t(type) >= v.types.size() || !v.types[size_t(type)].sound) {
        std::fprintf(stderr, "kiln extract: %s has no usable setup type %d (it has %zu)\n", setup.c_str(), type,
                     v.types.size());
        return 1;
    }
    // Every name is placed before anything is written.
    const fs::path root = Utf8Path(folder);
    std::vector<Planned> files, folders;
    size_t beside = 0, refused = 0;
    if (const ReadRecord* list = v.types[size_t(type)].file_list) {
        const uint8_t* e = list->body.data() + kFileListHeaderSize;
        for (uint32_t i = 0, n = ReadU32(list->body.data()); i < n; ++i, e = NextEntry(e)) {
            if (e[kEntryPlacement] == kPlacementBesideSetup) {
                ++beside;  // not in the package: the setup program takes it from beside the setup file
                continue;
            }
            std::string refusal;
            std::string relative = ExtractPath(e, &refusal);
            if (relative.empty() || !FreeOfLinks(root, Utf8Path(relative))) {
                if (refusal.empty()) refusal = "its path '" + relative + "' leads through a symbolic link";
                std::fprintf(stderr, "kiln extract: entry %u of setup type %d: %s\n", i, type, refusal.c_str());
                ++refused;
                continue;
            }
            (e[kEntryPlacement] == kPlacementFolder ? folders : files).push_back({e, root / Utf8Path(relative)});
        }
    }
    if (refused) {
        std::fprintf(stderr, "kiln extract: nothing written: %zu name(s) have no place inside '%s'\n", refused,
                     folder.c_str());
        return 1;
    }
    std::map<const uint8_t*, Bytes> built;
    BuiltFile keep = [&](size_t k, const uint8_t* e, const Bytes& b) {
        if (k == size_t(type)) built[e] = b;
    };
    size_t checked = 0;
    std::vector<std::string> faults = VerifyPackage(v, &checked, nullptr, &keep);
    if (!faults.empty()) {
        for (const std::string& f : faults) std::fprintf(stderr, "kiln extract: %s\n", f.c_str());
        std::fprintf(stderr, "kiln extract: nothing written: the setup file does not pass its checks\n");
        return 1;
    }
    std::error_code ec;
    for (const Planned& p : folders) fs::create_directories(p.path, ec);
    for (const Planned& p : files) {
        fs::create_directories(p.path.parent_path(), ec);
        const Bytes& b = built[p.entry];
        std::ofstream out(p.path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "kiln extract: cannot write '%s'\n", Utf8Name(p.path).c_str());
            return 1;
        }
        SetEntryTimes(p.path, p.entry);
    }
    std::printf("%s: setup type %d: %zu file(s) and %zu folder(s) written into %s", setup.c_str(), type, files.size(),
                folders.size(), folder.c_str());
    if (beside) std::printf("; %zu file(s) lie beside the setup file, not in it", beside);
    std::printf("\n");
    return 0;
}
