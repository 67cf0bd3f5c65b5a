#include "builder/archive/archive_plan.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "builder/archive/archive_items.h"
#include "builder/archive/delta_bases.h"
#include "builder/archive/delta_encoder.h"
#include "builder/manifest/build_error.h"
#include "builder/archive/parallel.h"
#include "builder/archive/pe_version.h"
#include "builder/archive/similarity.h"
#include "builder/archive/stream_encoder.h"
#include "builder/system/file_system.h"
#include "engine/checksum.h"

namespace {

// The automatic search leaves small files alone: a delta cannot save much.
constexpr uint64_t kMinAutoDeltaSize = 512;
constexpr uint64_t kMaxArchive = 0x7FFFFFFF;

}  // namespace

Bytes ReadSource(const ProductFile& file) {
    if (file.content) return *file.content;
    const std::string& path = file.source;
    std::ifstream f(Utf8Path(path), std::ios::binary | std::ios::ate);
    if (!f) throw BuildError("cannot read source file '" + path + "'");
    std::streamoff size = f.tellg();
    if (size > 0x7FFFFFFF) throw BuildError("source file '" + path + "' is larger than 2 GiB");
    Bytes b(size_t(size < 0 ? 0 : size));
    f.seekg(0);
    if (!f.read(reinterpret_cast<char*>(b.data()), std::streamsize(b.size())))
        throw BuildError("cannot read source file '" + path + "'");
    return b;
}

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
        std::optional<uint64_t> written = LastWriteFileTime(Utf8Path(file.source));
        if (!written) throw BuildError("cannot read the times of '" + file.source + "'");
        // Reproducible builds: no stored time is later than SOURCE_DATE_EPOCH.
        if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
            char* end = nullptr;
            long long limit = std::strtoll(epoch, &end, 10);
            if (*end || limit < 0) throw BuildError("SOURCE_DATE_EPOCH must be a number of seconds, not '" + std::string(epoch) + "'");
            written = std::min<uint64_t>(*written, (uint64_t(limit) + 11644473600ull) * 10000000ull);
        }
        a.creation = a.last_access = a.last_write = *written;
    }
    return a;
}

namespace {

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

// One archived file: read, described and sketched before anything is
// decided; its own stream is encoded along with the deltas.
struct Prepared {
    Bytes data;
    ArchivedFile described;
    Bytes stream;  // for the first file of each content only
    Sketch sketch;
    size_t first = 0;  // the first archived file with the same content
};

// A delta to measure: a file against a base, both by archive order.
struct DeltaTask {
    size_t file, base;
    size_t planned;  // its place in the plan, which ranks a file's bases
    Bytes items;     // both items, framed
};

class Planner {
public:
    Planner(const Product& p, int level, unsigned threads) : p_(p), level_(level), threads_(threads) {}

    // Everything that costs time runs on every core: reading and sketching
    // the files, then encoding their streams and the deltas the plan asks
    // for. What goes into the archive is then decided in archive order, from
    // those results alone.
    ArchivePlan Run(const ArchiveProgress& progress) {
        Collect();
        Read();
        PlanDeltas();
        Encode(progress);
        for (size_t i = 0; i < order_.size(); ++i) Archive(i);
        if (progress.on_file) progress.on_file(total_work_, total_work_, "");
        return std::move(plan_);
    }

    void Collect() {
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
                if (IsArchived(f)) {
                    index_[{k, i}] = order_.size();
                    order_.push_back(ref);
                }
            }
        }
    }

    void Report(const ArchiveProgress& progress, size_t i) {
        if (!progress.on_file) return;
        std::lock_guard<std::mutex> hold(progress_lock_);
        progress.on_file(done_work_++, total_work_, FileAt(p_, order_[i]).source);
    }

    // Reads, describes and sketches every file, and finds the first file of
    // each content.
    void Read() {
        prepared_.resize(order_.size());
        ParallelFor(order_.size(), threads_, [&](size_t i) {
            const ProductFile& f = FileAt(p_, order_[i]);
            Prepared& p = prepared_[i];
            p.data = ReadSource(f);
            p.described = Describe(f, p.data);
            if (p_.auto_delta) p.sketch = SketchOf(p.data.data(), p.data.size());
        });
        std::map<const Bytes*, size_t, bool (*)(const Bytes*, const Bytes*)> first(
            [](const Bytes* a, const Bytes* b) { return *a < *b; });
        for (size_t i = 0; i < order_.size(); ++i) prepared_[i].first = first.emplace(&prepared_[i].data, i).first->second;
    }

    bool Pinned(EntryRef ref) const { return pinned_.count({ref.type, ref.index}) != 0; }

    // Which deltas to measure. A base named in the manifest is always
    // measured. The automatic search offers each file the files before it
    // that will be stored whole and that its sketch says it shares most
    // with; a file given candidates is expected to become a delta and is
    // not offered to later files, since a delta cannot serve as a base.
    void PlanDeltas() {
        std::vector<BaseCandidate> pool;
        std::vector<bool> keep_whole;
        if (p_.auto_delta) {
            std::vector<BaseCandidate> files;
            for (size_t i = 0; i < order_.size(); ++i)
                files.push_back({order_[i], FileAt(p_, order_[i]).target, prepared_[i].data.size()});
            keep_whole = KeepWholeForLaterNamesakes(files);
        }
        for (size_t i = 0; i < order_.size(); ++i) {
            EntryRef ref = order_[i];
            const ProductFile& f = FileAt(p_, ref);
            const Prepared& p = prepared_[i];
            bool first = p.first == i;
            bool expect_delta = false;
            if (f.delta_base) {
                tasks_.push_back({i, index_.at({f.delta_base->type, f.delta_base->index}), tasks_.size(), {}});
            } else if (p_.auto_delta && first && !Pinned(ref) && !keep_whole[i] && !f.uninstaller &&
                       p.data.size() >= kMinAutoDeltaSize) {
                BaseCandidate target{ref, f.target, p.data.size(), &p.sketch};
                for (EntryRef base : RankDeltaBases(target, pool, kAutoDeltaCandidates)) {
                    tasks_.push_back({i, index_.at({base.type, base.index}), tasks_.size(), {}});
                    expect_delta = true;
                }
            }
            if (first && !expect_delta && !f.uninstaller && !f.delta_base)
                pool.push_back({ref, f.target, p.data.size(), &p.sketch});
        }
    }

    // One pool of work for every core: the planned deltas, then each
    // content's own stream, largest first, so that the cores finish
    // together. Each base's suffix array is built once, by the first delta
    // that needs it, and dropped after its last; deltas run in the order of
    // their bases, so only a few are held at a time.
    void Encode(const ArchiveProgress& progress) {
        std::stable_sort(tasks_.begin(), tasks_.end(),
                         [](const DeltaTask& a, const DeltaTask& b) { return a.base < b.base; });
        std::vector<size_t> streams;
        for (size_t i = 0; i < order_.size(); ++i)
            if (prepared_[i].first == i) streams.push_back(i);
        std::stable_sort(streams.begin(), streams.end(), [&](size_t a, size_t b) {
            return prepared_[a].data.size() > prepared_[b].data.size();
        });
        struct Shared {
            std::once_flag built;
            std::unique_ptr<DeltaBase> index;
            std::atomic<size_t> left{0};
        };
        std::map<size_t, Shared> bases;
        for (const DeltaTask& t : tasks_) bases[t.base].left++;
        total_work_ = tasks_.size() + streams.size();
        ParallelFor(total_work_, threads_, [&](size_t k) {
            if (k >= tasks_.size()) {
                Prepared& p = prepared_[streams[k - tasks_.size()]];
                p.stream = EncodeStream(p.data.data(), p.data.size(), level_);
                Report(progress, streams[k - tasks_.size()]);
                return;
            }
            DeltaTask& t = tasks_[k];
            Shared& shared = bases.at(t.base);
            std::call_once(shared.built, [&] { shared.index = std::make_unique<DeltaBase>(prepared_[t.base].data); });
            DeltaCommands d = EncodeDelta(*shared.index, prepared_[t.file].data);
            t.items = FrameArchiveItem(d.commands, level_);
            Bytes literals = FrameArchiveItem(d.literals, level_);
            t.items.insert(t.items.end(), literals.begin(), literals.end());
            if (--shared.left == 0) shared.index.reset();
            Report(progress, t.file);
        });
        std::sort(tasks_.begin(), tasks_.end(),
                  [](const DeltaTask& a, const DeltaTask& b) { return a.planned < b.planned; });
    }

    void Archive(size_t i) {
        EntryRef ref = order_[i];
        const ProductFile& f = FileAt(p_, ref);
        Prepared& p = prepared_[i];
        ArchivedFile a = p.described;
        // The base first, so that its stream lies before the delta and a file
        // equal to its base is found stored already.
        if (f.delta_base) EnsurePlain(index_.at({f.delta_base->type, f.delta_base->index}));
        auto plain = plain_.find(p.first);
        auto delta = deltas_.find(p.first);
        if (plain != plain_.end()) {
            Place(a, plain->second);
        } else if (delta != deltas_.end() && !Pinned(ref) && !f.uninstaller) {
            PlaceDelta(a, delta->second);
        } else {
            const Bytes& stream = prepared_[p.first].stream;  // encoded once per content
            DeltaChoice best;
            const Bytes* best_items = nullptr;
            auto [from, to] = TasksOf(i);
            for (auto t = from; t != to; ++t) {
                if (!best_items || t->items.size() < best_items->size()) {
                    best = {ref, order_[t->base], uint32_t(stream.size()), uint32_t(t->items.size()), false,
                            !f.delta_base};
                    best_items = &t->items;
                }
            }
            best.kept = best_items && best_items->size() < stream.size();
            if (best.kept) {
                StoredDelta stored{Append(*best_items), best.base};
                PlaceDelta(a, stored);
                deltas_.emplace(p.first, stored);
            } else {
                Place(a, StorePlain(i));
            }
            if (best_items && (best.kept || f.delta_base)) plan_.deltas.push_back(best);
        }
        plan_.files[ref.type][ref.index] = a;
    }

    std::pair<std::vector<DeltaTask>::const_iterator, std::vector<DeltaTask>::const_iterator> TasksOf(size_t i) const {
        return std::equal_range(tasks_.begin(), tasks_.end(), DeltaTask{i, 0, 0, {}},
                                [](const DeltaTask& a, const DeltaTask& b) { return a.file < b.file; });
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

    // Stores the plain stream of file i's content, once.
    Stored StorePlain(size_t i) {
        size_t first = prepared_[i].first;
        auto known = plain_.find(first);
        if (known != plain_.end()) return known->second;
        return plain_.emplace(first, Append(prepared_[first].stream)).first->second;
    }

    // A base named in the manifest may come later in the file lists: its
    // stream is stored ahead of the delta that needs it.
    void EnsurePlain(size_t base) { StorePlain(base); }

    const Product& p_;
    int level_;
    unsigned threads_;
    ArchivePlan plan_;
    std::vector<EntryRef> order_;                              // the archived files
    std::map<std::pair<uint16_t, uint32_t>, size_t> index_;  // their places in order_
    std::vector<Prepared> prepared_;
    std::vector<DeltaTask> tasks_;
    std::map<size_t, Stored> plain_;        // by the first file of each content
    std::map<size_t, StoredDelta> deltas_;  // by the first file of each content
    std::set<std::pair<uint16_t, uint32_t>> pinned_;  // named as bases: stored whole
    std::mutex progress_lock_;
    size_t done_work_ = 0, total_work_ = 0;
};

}  // namespace

ArchivePlan PlanArchive(const Product& product, int level, const ArchiveProgress& progress, unsigned threads) {
    return Planner(product, level, threads).Run(progress);
}
