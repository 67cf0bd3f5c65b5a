// Decode throughput (MB/s of output) of the setup program's decoder against
// zlib's inflate and libdeflate on the same LZ77 parses: each file is
// compressed once as raw Deflate and transcoded into our format.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <vector>

#include "builder/archive/deflate_transcoder.h"
#include "decoder/inflate.h"
#include "tests/host/test_corpus.h"

namespace {

struct Sample {
    std::vector<uint8_t> original, deflate, ours;
};

const std::vector<Sample>& Corpus() {
    static std::vector<Sample> samples = [] {
        std::vector<Sample> out;
        libdeflate_compressor* c = libdeflate_alloc_compressor(9);
        for (const std::string& path : PeCorpusFiles(300)) {
            Sample s;
            s.original = ReadFileBytes(path);
            s.deflate.resize(libdeflate_deflate_compress_bound(c, s.original.size()));
            s.deflate.resize(libdeflate_deflate_compress(c, s.original.data(), s.original.size(), s.deflate.data(),
                                                         s.deflate.size()));
            if (!TranscodeDeflate(s.deflate.data(), s.deflate.size(), s.ours)) continue;
            out.push_back(std::move(s));
        }
        libdeflate_free_compressor(c);
        return out;
    }();
    return samples;
}

size_t TotalOutput() {
    size_t total = 0;
    for (const Sample& s : Corpus()) total += s.original.size();
    return total;
}

void BM_Kiln(benchmark::State& state) {
    std::vector<uint8_t> out;
    for (auto _ : state) {
        for (const Sample& s : Corpus()) {
            out.resize(s.original.size());
            if (InflateBuffer(s.ours.data(), s.ours.size(), out.data(), out.size()) != kInflateOk)
                state.SkipWithError("decode failed");
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations() * TotalOutput()));
}

void BM_Zlib(benchmark::State& state) {
    std::vector<uint8_t> out;
    for (auto _ : state) {
        for (const Sample& s : Corpus()) {
            out.resize(s.original.size());
            z_stream z = {};
            inflateInit2(&z, -15);
            z.next_in = const_cast<Bytef*>(s.deflate.data());
            z.avail_in = uInt(s.deflate.size());
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            if (inflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("zlib failed");
            inflateEnd(&z);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations() * TotalOutput()));
}

void BM_Libdeflate(benchmark::State& state) {
    std::vector<uint8_t> out;
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    for (auto _ : state) {
        for (const Sample& s : Corpus()) {
            out.resize(s.original.size());
            if (libdeflate_deflate_decompress(d, s.deflate.data(), s.deflate.size(), out.data(), out.size(),
                                              nullptr) != LIBDEFLATE_SUCCESS)
                state.SkipWithError("libdeflate failed");
        }
    }
    libdeflate_free_decompressor(d);
    state.SetBytesProcessed(int64_t(state.iterations() * TotalOutput()));
}

BENCHMARK(BM_Kiln)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libdeflate)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::printf("corpus: %zu files, %.1f MB\n", Corpus().size(), TotalOutput() / 1e6);  // built before timing
    benchmark::RunSpecifiedBenchmarks();
}
