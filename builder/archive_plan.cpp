#include "builder/archive_plan.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>

#include "builder/archive_items.h"
#include "builder/delta_bases.h"
#include "builder/delta_encoder.h"
#include "builder/package_builder.h"
#include "builder/pe_version.h"
#include "builder/stream_encoder.h"
#include "engine/checksum.h"

namespace {

// The automatic search leaves small files alone: a delta cannot save much.
constexpr uint64_t kMinAutoDeltaSize = 512;
// Bases measured for each file by the automatic search.
constexpr size_t kAutoDeltaCandidates = 3;
// Suffix arrays kept for reuse (each takes five bytes per base byte).
constexpr size_t kCachedBases = 4;
constexpr uint64_t kMaxArchive = 0x7FFFFFFF;

Bytes ReadSource(const ProductFile& file) {
    if (file.content) return *file.content;
    const std::string& path = file.source;
    std::ifstream f(path, std::ios::binary);
    if (!f) throw BuildError("cannot read source file '" + path + "'");
    Bytes b((std::istreambuf_iterator<char>(f)), {});
    if (b.size() > 0x7FFFFFFF) throw BuildError("source file '" + path + "' is larger than 2 GiB");
    return b;
}

// Seconds since 1970 to a FILETIME count of 100 ns since 1601.
uint64_t ToFileTime(const struct timespec& t) {
    return (uint64_t(t.tv_sec) + 11644473600ull) * 10000000ull + uint64_t(t.tv_nsec) / 100;
}

// What the file itself gives its entry: size, checksum, version and times.
ArchivedFile Describe(const ProductFile& file, const Bytes& data) {
    ArchivedFile a;
    a.unpacked_size = uint32_t(data.size());
    a.checksum = ChecksumUpdate(0, data.data(), data.size());
    if (file.version_test || file.language_test) {
        std::optional<PeVersion> v = ReadPeVersion(data);
        if (!v) throw BuildError("'" + file.source + "' has no version resource for its version or language test");
        if (file.language_test && !v->language)
            throw BuildError("'" + file.source + "' has no language in its version resource");
        a.version_ms = v->file_version_ms, a.version_ls = v->file_version_ls;
        a.product_ms = v->product_version_ms, a.product_ls = v->product_version_ls;
        a.language = v->language.value_or(0);
    }
    if (file.file_times) {
        struct stat st;
        if (stat(file.source.c_str(), &st) != 0) throw BuildError("cannot read the times of '" + file.source + "'");
        a.creation = a.last_access = a.last_write = ToFileTime(st.st_mtim);
    }
    return a;
}

std::string Name(const Product& p, EntryRef ref) {
    return "setup type " + std::to_string(ref.type) + ", file " + std::to_string(ref.index) + " ('" +
           FileAt(p, ref).target + "')";
}

struct Stored {
    uint32_t offset = 0, size = 0;
};

// A delta already in the archive, reused by later files of the same content.
struct StoredDelta {
    Stored items;
    EntryRef base;
};

class Planner {
public:
    Planner(const Product& p, int level) : p_(p), level_(level) {}

    ArchivePlan Run(const ArchiveProgress& progress) {
        std::vector<EntryRef> order;
        for (uint16_t k = 0; k < p_.types.size(); ++k) {
            plan_.files.emplace_back(p_.types[k].files.size());
            for (uint32_t i = 0; i < p_.types[k].files.size(); ++i) {
                EntryRef ref{k, i};
                const ProductFile& f = FileAt(p_, ref);
                if (f.delta_base) {
                    std::string problem = DeltaBaseProblem(p_, ref, *f.delta_base);
                    if (!problem.empty()) throw BuildError(Name(p_, ref) + ": delta base: " + problem);
                    pinned_.insert({f.delta_base->type, f.delta_base->index});
                }
                if (IsArchived(f)) order.push_back(ref);
            }
        }
        if (p_.auto_delta) {
            std::vector<BaseCandidate> files;
            for (EntryRef ref : order) {
                std::error_code ec;
                const ProductFile& f = FileAt(p_, ref);
                uint64_t size = f.content ? f.content->size() : std::filesystem::file_size(f.source, ec);
                files.push_back({ref, FileAt(p_, ref).target, ec ? 0 : size});
            }
            std::vector<bool> keep = KeepWholeForLaterNamesakes(files);
            for (size_t i = 0; i < order.size(); ++i)
                if (keep[i]) whole_.insert({order[i].type, order[i].index});
        }
        for (size_t done = 0; done < order.size(); ++done) {
            if (progress.on_file) progress.on_file(done, order.size(), FileAt(p_, order[done]).source);
            Archive(order[done]);
        }
        if (progress.on_file) progress.on_file(order.size(), order.size(), "");
        return std::move(plan_);
    }

private:
    void Archive(EntryRef ref) {
        const ProductFile& f = FileAt(p_, ref);
        Bytes data = ReadSource(f);
        ArchivedFile a = Describe(f, data);
        bool pinned = pinned_.count({ref.type, ref.index}) != 0;
        // The base first, so that its stream lies before the delta and a file
        // equal to its base is found stored already.
        if (f.delta_base) EnsurePlain(*f.delta_base);
        auto plain = plain_.find(data);
        auto delta = deltas_.find(data);
        if (plain != plain_.end()) {
            Place(a, plain->second);
            Pool(ref, plain->first);
        } else if (delta != deltas_.end() && !pinned && !f.uninstaller) {
            PlaceDelta(a, delta->second);
        } else {
            Bytes stream = EncodeStream(data.data(), data.size(), level_);
            std::vector<EntryRef> bases;
            bool automatic = !f.delta_base;
            if (f.delta_base)
                bases.push_back(*f.delta_base);
            else if (p_.auto_delta && !pinned && !whole_.count({ref.type, ref.index}) && !f.uninstaller &&
                     data.size() >= kMinAutoDeltaSize)
                bases = RankDeltaBases({ref, f.target, data.size()}, pool_, kAutoDeltaCandidates);
            DeltaChoice best;
            Bytes best_items;
            for (EntryRef base : bases) {
                const Bytes& base_data = EnsurePlain(base);
                DeltaCommands d = EncodeDelta(Index(base_data), data);
                Bytes items = FrameArchiveItem(d.commands, level_);
                Bytes literals = FrameArchiveItem(d.literals, level_);
                items.insert(items.end(), literals.begin(), literals.end());
                if (best_items.empty() || items.size() < best_items.size()) {
                    best = {ref, base, uint32_t(stream.size()), uint32_t(items.size()), false, automatic};
                    best_items = std::move(items);
                }
            }
            best.kept = !best_items.empty() && best_items.size() < stream.size();
            if (best.kept) {
                StoredDelta stored{Append(best_items), best.base};
                PlaceDelta(a, stored);
                deltas_.emplace(std::move(data), stored);
            } else {
                Place(a, StorePlain(std::move(data), stream, ref));
            }
            if (!best_items.empty() && (best.kept || !automatic)) plan_.deltas.push_back(best);
        }
        plan_.files[ref.type][ref.index] = a;
    }

    static void Place(ArchivedFile& a, Stored s) { a.archive_offset = s.offset, a.stored_size = s.size; }
    static void PlaceDelta(ArchivedFile& a, const StoredDelta& d) {
        Place(a, d.items);
        a.delta = true;
        a.base_type = d.base.type;
        a.base_ordinal = d.base.index;
    }

    Stored Append(const Bytes& bytes) {
        if (plan_.archive.size() + bytes.size() > kMaxArchive) throw BuildError("the file archive exceeds 2 GiB");
        Stored s{uint32_t(plan_.archive.size()), uint32_t(bytes.size())};
        plan_.archive.insert(plan_.archive.end(), bytes.begin(), bytes.end());
        return s;
    }

    // Stores a plain stream of data; the entry may serve the search as a base.
    Stored StorePlain(Bytes data, const Bytes& stream, EntryRef ref) {
        Stored s = Append(stream);
        Pool(ref, plain_.emplace(std::move(data), s).first->first);
        return s;
    }

    // Offers a file stored whole to the search as a base, once per content.
    void Pool(EntryRef ref, const Bytes& content) {
        const ProductFile& f = FileAt(p_, ref);
        if (f.uninstaller || f.delta_base || !pooled_.insert(&content).second) return;
        pool_.push_back({ref, f.target, content.size()});
        content_[{ref.type, ref.index}] = &content;
    }

    // The base's bytes, with their plain stream in the archive: a base named
    // in the manifest may come later in the file lists, and is stored
    // ahead of the delta that needs it.
    const Bytes& EnsurePlain(EntryRef base) {
        auto known = content_.find({base.type, base.index});
        if (known != content_.end()) return *known->second;
        Bytes data = ReadSource(FileAt(p_, base));
        auto plain = plain_.find(data);
        if (plain == plain_.end()) {
            Bytes stream = EncodeStream(data.data(), data.size(), level_);
            plain = plain_.emplace(std::move(data), Append(stream)).first;
        }
        content_[{base.type, base.index}] = &plain->first;
        return plain->first;
    }

    const DeltaBase& Index(const Bytes& base) {
        auto it = indexes_.find(&base);
        if (it != indexes_.end()) return *it->second;
        if (indexes_.size() >= kCachedBases) indexes_.clear();
        return *indexes_.emplace(&base, std::make_unique<DeltaBase>(base)).first->second;
    }

    const Product& p_;
    int level_;
    ArchivePlan plan_;
    std::map<Bytes, Stored> plain_;
    std::map<Bytes, StoredDelta> deltas_;
    std::set<std::pair<uint16_t, uint32_t>> pinned_;  // named as bases: stored whole
    std::set<std::pair<uint16_t, uint32_t>> whole_;   // kept whole by the search for a later namesake
    std::vector<BaseCandidate> pool_;                 // stored whole, usable as bases
    std::set<const Bytes*> pooled_;
    std::map<std::pair<uint16_t, uint32_t>, const Bytes*> content_;
    std::map<const Bytes*, std::unique_ptr<DeltaBase>> indexes_;
};

}  // namespace

ArchivePlan PlanArchive(const Product& product, int level, const ArchiveProgress& progress) {
    return Planner(product, level).Run(progress);
}
