#include "builder/archive/solid_archive.h"

#include <lzma.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>

#include "builder/archive/delta_bases.h"
#include "builder/manifest/build_error.h"
#include "builder/archive/parallel.h"
#include "builder/archive/similarity.h"
#include "package/package_format.h"
#include "package/solid_blocks.h"

namespace {

// A block's unpacked size. Measured on 128 MB of DLLs (preset 9e): blocks of
// 64 MiB made 18.39 MB, one block of 128 MB 18.09 MB; each block
// boundary loses the matches across it, which costs more than the cores
// save. The dictionary (and so the setup program's window) stays at most
// kMaxSolidDictionary, so a block may be twice its size.
constexpr uint64_t kBlockTarget = 128u << 20;

Bytes EncodeBlock(const Bytes& data, uint32_t window, LzmaProperties* properties) {
    lzma_options_lzma options;
    // Measured on the DLL corpus in one block against preset 9e as it is
    // (18,127,644 bytes, 75 s): position bits 0 and 2 literal context bits
    // suit machine code of any alignment (17,979,659 bytes), and a match
    // finder depth of 64 instead of 512 costs 8 KB of that for 18% less time.
    lzma_lzma_preset(&options, 9 | LZMA_PRESET_EXTREME);
    options.lc = 2;
    options.pb = 0;
    options.depth = 64;
    uint32_t dictionary = kLzmaMinDictionary;
    while (dictionary < data.size() && dictionary < window) dictionary *= 2;
    options.dict_size = dictionary;
    *properties = {options.lc, options.lp, options.pb, dictionary};
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes out(data.size() + data.size() / 16 + 4096);
    size_t written = 0;
    if (lzma_raw_buffer_encode(filters, nullptr, data.data(), data.size(), out.data(), &written, out.size()) != LZMA_OK)
        throw BuildError("liblzma could not encode a block");
    out.resize(written);
    return out;
}

// The order before the similarity chain, and instead of it for many files:
// files of one kind together, by extension, then by name.
// (Targets are the setup's ANSI text with '\\' between folders, so plain
// text, the same on every system kiln runs on.)
std::string OrderKey(const ProductFile& f) {
    size_t name = f.target.rfind('\\') + 1, dot = f.target.rfind('.');
    std::string extension = dot != std::string::npos && dot > name ? f.target.substr(dot) : "";
    return extension + '\n' + f.target;
}

// Similar files next to each other, where LZMA's matches reach across them:
// from the first file, always on to the unplaced file that shares most with
// the one before (by their sketches). Quadratic, so only for a few thousand files.
constexpr size_t kMaxChainedFiles = 4000;
std::vector<size_t> SimilarityChain(const std::vector<Sketch>& sketches) {
    size_t n = sketches.size();
    std::vector<size_t> chain;
    std::vector<bool> placed(n);
    for (size_t at = 0; chain.size() < n;) {
        chain.push_back(at);
        placed[at] = true;
        size_t next = n;
        double best = -1;
        for (size_t j = 0; j < n; ++j) {
            if (placed[j]) continue;
            double share = Containment(sketches[j], sketches[at]);
            if (share > best) best = share, next = j;
        }
        at = next;
    }
    return chain;
}

}  // namespace

ArchivePlan PlanSolidArchive(const Product& product, const ArchiveProgress& progress, unsigned threads) {
    ArchivePlan plan;
    std::vector<EntryRef> order;
    for (uint16_t k = 0; k < product.types.size(); ++k) {
        plan.files.emplace_back(product.types[k].files.size());
        for (uint32_t i = 0; i < product.types[k].files.size(); ++i)
            if (IsArchived(FileAt(product, {k, i}))) order.push_back({k, i});
    }
    std::stable_sort(order.begin(), order.end(), [&](EntryRef a, EntryRef b) {
        return OrderKey(FileAt(product, a)) < OrderKey(FileAt(product, b));
    });
    std::vector<Bytes> data(order.size());
    std::vector<Sketch> sketches(order.size());
    bool chained = order.size() <= kMaxChainedFiles;
    ParallelFor(order.size(), threads, [&](size_t i) {
        const ProductFile& f = FileAt(product, order[i]);
        data[i] = ReadSource(f);
        plan.files[order[i].type][order[i].index] = Describe(f, data[i]);
        if (chained) sketches[i] = SketchOf(data[i].data(), data[i].size());
    });
    if (chained) {
        std::vector<size_t> chain = SimilarityChain(sketches);
        std::vector<EntryRef> refs;
        std::vector<Bytes> bytes;
        for (size_t i : chain) refs.push_back(order[i]), bytes.push_back(std::move(data[i]));
        order = std::move(refs);
        data = std::move(bytes);
    }

    // Each content once, appended to the current block until it is full.
    std::vector<Bytes> blocks(1);
    std::map<Bytes, std::pair<size_t, uint32_t>> placed;  // content: block, start
    for (size_t i = 0; i < order.size(); ++i) {
        auto known = placed.find(data[i]);
        std::pair<size_t, uint32_t> where;
        if (known != placed.end()) {
            where = known->second;
        } else {
            if (!blocks.back().empty() && blocks.back().size() + data[i].size() > kBlockTarget) blocks.emplace_back();
            Bytes& block = blocks.back();
            if (block.size() + data[i].size() > 0xFFFFFFFFu) throw BuildError("a file is too large for a block");
            where = {blocks.size() - 1, uint32_t(block.size())};
            block.insert(block.end(), data[i].begin(), data[i].end());
            placed.emplace(std::move(data[i]), where);
        }
        ArchivedFile& a = plan.files[order[i].type][order[i].index];
        a.archive_offset = uint32_t(where.first);
        a.stored_size = where.second;
    }
    placed.clear();

    // Largest blocks first, so that the cores finish together.
    std::vector<size_t> by_size(blocks.size());
    for (size_t b = 0; b < blocks.size(); ++b) by_size[b] = b;
    std::stable_sort(by_size.begin(), by_size.end(),
                     [&](size_t a, size_t b) { return blocks[a].size() > blocks[b].size(); });
    std::vector<Bytes> streams(blocks.size());
    std::vector<LzmaProperties> properties(blocks.size());
    std::mutex progress_lock;
    size_t done = 0;
    ParallelFor(blocks.size(), threads, [&](size_t k) {
        size_t b = by_size[k];
        streams[b] = EncodeBlock(blocks[b], product.lzma_window, &properties[b]);
        if (!progress.on_file) return;
        std::lock_guard<std::mutex> hold(progress_lock);
        progress.on_file(done++, blocks.size(), "block " + std::to_string(b));
    });
    if (progress.on_file) progress.on_file(blocks.size(), blocks.size(), "");

    plan.solid_table.resize(4 + blocks.size() * kSolidBlockSize);
    WriteU32(plan.solid_table.data(), uint32_t(blocks.size()));
    for (size_t b = 0; b < blocks.size(); ++b) {
        uint8_t* p = plan.solid_table.data() + 4 + b * kSolidBlockSize;
        if (plan.archive.size() + streams[b].size() > 0x7FFFFFFF) throw BuildError("the file archive exceeds 2 GiB");
        WriteU32(p, uint32_t(streams[b].size()));
        WriteU32(p + 4, uint32_t(blocks[b].size()));
        WriteU32(p + 8, properties[b].dictionary);
        p[12] = LzmaPropertiesByte(properties[b]);
        plan.archive.insert(plan.archive.end(), streams[b].begin(), streams[b].end());
    }
    return plan;
}
