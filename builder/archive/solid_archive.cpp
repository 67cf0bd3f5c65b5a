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

// Blocks are linked (package/solid_blocks.h): each block after the first
// is encoded with the tail of the data before it as liblzma's preset
// dictionary, so blocks encode side by side and still find most matches
// across their boundaries. Measured on 128 MB of DLLs in two 64 MiB halves
// (the settings below, two cores): one block makes 17.91 MB in 66 s;
// independent halves 18.22 MB in 31 s; a preset of 8 MiB 18.04 MB in 32 s,
// of 16 MiB 18.00 MB in 37 s, of 32 MiB 17.95 MB in 42 s and of 64 MiB
// 17.91 MB in 54 s.
constexpr uint32_t kMaxPreset = 16u << 20;
// Taking the preset into the match finder is what costs: as much as
// encoding 0.8 to 1.9 times its bytes, by content, on that corpus.
constexpr uint64_t kPresetCostPercent = 150;

// The work of one block, in bytes encoded: a block for each 64 MiB, or for
// each four windows when the window is small (the test suite's linked
// chains come from its 4 KiB window).
uint64_t BlockTarget(uint32_t window) { return std::min<uint64_t>(64u << 20, uint64_t(window) * 4); }

// The dictionary: the smallest power of two that spans the chain, at most the window.
uint32_t DictionaryFor(uint64_t span, uint32_t window) {
    uint32_t dictionary = kLzmaMinDictionary;
    while (dictionary < span && dictionary < window) dictionary *= 2;
    return dictionary;
}

lzma_options_lzma EncoderOptions(uint32_t dictionary) {
    lzma_options_lzma options;
    // Measured on the DLL corpus in one block against preset 9e as it is
    // (18,127,644 bytes, 75 s): position bits 0 and 2 literal context bits
    // suit machine code of any alignment (17,979,659 bytes), and a match
    // finder depth of 64 instead of 512 costs 8 KB of that for 18% less time.
    lzma_lzma_preset(&options, 9 | LZMA_PRESET_EXTREME);
    options.lc = 2;
    options.pb = 0;
    options.depth = 64;
    options.dict_size = dictionary;
    return options;
}

Bytes EncodeBlock(const Bytes& data, const Bytes& preset, uint32_t dictionary) {
    lzma_options_lzma options = EncoderOptions(dictionary);
    if (!preset.empty()) {
        options.preset_dict = preset.data();
        options.preset_dict_size = uint32_t(preset.size());
    }
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes out(data.size() + data.size() / 16 + 4096);
    size_t written = 0;
    if (lzma_raw_buffer_encode(filters, nullptr, data.data(), data.size(), out.data(), &written, out.size()) != LZMA_OK)
        throw BuildError("liblzma could not encode a block");
    out.resize(written);
    return out;
}

// The last `size` bytes of the blocks before block `k` (or all of them), in one piece.
Bytes PresetFor(const std::vector<Bytes>& blocks, size_t k, uint32_t size) {
    Bytes preset;
    for (size_t b = k; b-- > 0 && preset.size() < size;) {
        size_t take = std::min<size_t>(size - preset.size(), blocks[b].size());
        preset.insert(preset.begin(), blocks[b].end() - take, blocks[b].end());
    }
    return preset;
}

// Each encoder takes about eleven times its dictionary: at most as many
// at once as fit in half the machine's memory.
unsigned EncodersThatFit(uint32_t dictionary, unsigned threads) {
    lzma_options_lzma options = EncoderOptions(dictionary);
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    uint64_t each = lzma_raw_encoder_memusage(filters), memory = lzma_physmem();
    if (each == UINT64_MAX || memory == 0) return 1;
    return unsigned(std::max<uint64_t>(1, std::min<uint64_t>(threads ? threads : BuildThreads(), memory / 2 / each)));
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

    // Each content once, in the chain's order.
    auto by_content = [](const Bytes* a, const Bytes* b) { return *a < *b; };
    std::map<const Bytes*, size_t, decltype(by_content)> seen(by_content);
    std::vector<size_t> content_of(order.size()), contents;  // contents: where each first appears in `data`
    uint64_t span = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        auto [at, added] = seen.emplace(&data[i], contents.size());
        content_of[i] = at->second;
        if (!added) continue;
        contents.push_back(i);
        span += data[i].size();
    }
    seen.clear();
    const uint32_t dictionary = DictionaryFor(span, product.lzma_window);
    const uint32_t preset = std::min(kMaxPreset, dictionary);

    // Blocks of even work: every block after the first takes its preset
    // into the match finder before it encodes, so the first holds more.
    const uint64_t preset_work = uint64_t(preset) * kPresetCostPercent / 100;
    const uint64_t target = BlockTarget(product.lzma_window);
    const uint64_t count = std::max<uint64_t>(1, (span + target - 1) / target);
    const uint64_t work = (span + preset_work * (count - 1)) / count;
    std::vector<Bytes> blocks(1);
    std::vector<std::pair<uint32_t, uint32_t>> where(contents.size());  // block, start
    for (size_t c = 0; c < contents.size(); ++c) {
        Bytes& bytes = data[contents[c]];
        uint64_t quota = blocks.size() == 1 ? work : work - preset_work;
        if (blocks.size() < count && !blocks.back().empty() && blocks.back().size() + bytes.size() > quota)
            blocks.emplace_back();  // the last block takes what is left
        Bytes& block = blocks.back();
        if (block.size() + bytes.size() > 0xFFFFFFFFu) throw BuildError("a block would exceed 4 GiB");
        where[c] = {uint32_t(blocks.size() - 1), uint32_t(block.size())};
        block.insert(block.end(), bytes.begin(), bytes.end());
    }
    for (size_t i = 0; i < order.size(); ++i) {
        ArchivedFile& a = plan.files[order[i].type][order[i].index];
        a.archive_offset = where[content_of[i]].first;
        a.stored_size = where[content_of[i]].second;
    }
    data.clear();

    plan.solid_linked = blocks.size() > 1;
    // The most work first, so that the cores finish together.
    std::vector<size_t> by_work(blocks.size());
    for (size_t b = 0; b < blocks.size(); ++b) by_work[b] = b;
    auto work_of = [&](size_t b) { return blocks[b].size() + (b ? preset_work : 0); };
    std::stable_sort(by_work.begin(), by_work.end(), [&](size_t a, size_t b) { return work_of(a) > work_of(b); });
    std::vector<Bytes> streams(blocks.size());
    std::mutex progress_lock;
    size_t done = 0;
    ParallelFor(blocks.size(), EncodersThatFit(dictionary, threads), [&](size_t k) {
        size_t b = by_work[k];
        streams[b] = EncodeBlock(blocks[b], PresetFor(blocks, b, preset), dictionary);
        if (!progress.on_file) return;
        std::lock_guard<std::mutex> hold(progress_lock);
        progress.on_file(done++, blocks.size(), "block " + std::to_string(b));
    });
    if (progress.on_file) progress.on_file(blocks.size(), blocks.size(), "");

    lzma_options_lzma options = EncoderOptions(dictionary);
    LzmaProperties properties = {options.lc, options.lp, options.pb, dictionary};
    plan.solid_table.resize(4 + blocks.size() * kSolidBlockSize);
    WriteU32(plan.solid_table.data(), uint32_t(blocks.size()));
    for (size_t b = 0; b < blocks.size(); ++b) {
        uint8_t* p = plan.solid_table.data() + 4 + b * kSolidBlockSize;
        if (plan.archive.size() + streams[b].size() > 0x7FFFFFFF) throw BuildError("the file archive exceeds 2 GiB");
        WriteU32(p, uint32_t(streams[b].size()));
        WriteU32(p + 4, uint32_t(blocks[b].size()));
        WriteU32(p + 8, dictionary);
        p[12] = LzmaPropertiesByte(properties);
        plan.archive.insert(plan.archive.end(), streams[b].begin(), streams[b].end());
    }
    return plan;
}
