#include "builder/archive/delta_bases.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace {

// The last component of a target name, lower case (Windows names ignore case).
std::string LeafName(const std::string& target) {
    size_t slash = target.find_last_of("\\/");
    std::string leaf = slash == std::string::npos ? target : target.substr(slash + 1);
    for (char& c : leaf) c = char(std::tolower(static_cast<unsigned char>(c)));
    return leaf;
}

bool SimilarSize(uint64_t a, uint64_t b) { return a * 2 >= b && b * 2 >= a; }

std::string Describe(const Product& p, EntryRef ref) {
    return "file " + std::to_string(ref.index) + " ('" + FileAt(p, ref).target + "') of setup type " +
           std::to_string(ref.type);
}

}  // namespace

const ProductFile& FileAt(const Product& p, EntryRef ref) { return p.types.at(ref.type).files.at(ref.index); }

bool IsArchived(const ProductFile& f) { return f.placement <= 1 && (!f.source.empty() || f.content); }

std::string DeltaBaseProblem(const Product& p, EntryRef entry, EntryRef base) {
    const ProductFile& file = FileAt(p, entry);
    if (!IsArchived(file)) return "only a file extracted from the archive can be stored as a delta";
    if (file.uninstaller) return "the uninstaller cannot be stored as a delta";
    if (base.type >= p.types.size())
        return "there is no setup type " + std::to_string(base.type) + " (the product has " +
               std::to_string(p.types.size()) + ")";
    if (base.index >= p.types[base.type].files.size())
        return "setup type " + std::to_string(base.type) + " has no file " + std::to_string(base.index);
    if (base == entry) return "a file cannot be its own base";
    const ProductFile& b = FileAt(p, base);
    if (!IsArchived(b)) return Describe(p, base) + " has no data in the archive to serve as a base";
    if (b.uninstaller)
        return Describe(p, base) + " is the uninstaller, whose installed bytes are not its archive data";
    if (b.delta_base)
        return Describe(p, base) + " is itself stored as a delta; a base must be stored whole";
    return {};
}

std::vector<EntryRef> RankDeltaBases(const BaseCandidate& target, const std::vector<BaseCandidate>& pool,
                                     size_t max_count) {
    struct Ranked {
        double share;
        EntryRef ref;
    };
    std::vector<Ranked> ranked;
    for (const BaseCandidate& c : pool) {
        if (c.size / kMaxBaseToTarget > target.size) continue;
        double share = target.sketch && c.sketch ? Containment(*target.sketch, *c.sketch) : 0;
        if (share >= kMinBaseShare) ranked.push_back({share, c.ref});
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) { return a.share > b.share; });
    std::vector<EntryRef> out;
    for (size_t i = 0; i < ranked.size() && i < max_count; ++i) out.push_back(ranked[i].ref);
    return out;
}

std::vector<bool> KeepWholeForLaterNamesakes(const std::vector<BaseCandidate>& files) {
    std::vector<bool> keep(files.size());
    std::map<std::string, std::vector<uint64_t>> later;  // sizes by name, of the files after this one
    for (size_t i = files.size(); i-- > 0;) {
        std::vector<uint64_t>& sizes = later[LeafName(files[i].name)];
        keep[i] = std::any_of(sizes.begin(), sizes.end(), [&](uint64_t s) { return SimilarSize(s, files[i].size); });
        sizes.push_back(files[i].size);
    }
    return keep;
}
