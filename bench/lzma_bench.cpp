// The LZMA decoder against liblzma's on the same stream: real 32-bit DLLs
// (up to 32 MB of them, one solid stream, as a setup file's block holds
// them), encoded once by liblzma at its default preset.
#include <benchmark/benchmark.h>
#include <lzma.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "decoder/lzma_decoder.h"
#include "tests/host/test_corpus.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Solid {
    Bytes input, stream;
    LzmaProperties properties;
    lzma_options_lzma options;
};

const Solid& Corpus() {
    static Solid solid = [] {
        Solid s;
        for (const std::string& path : PeCorpusFiles(1000)) {
            Bytes file = ReadFileBytes(path);
            if (s.input.size() + file.size() > (32u << 20)) break;
            s.input.insert(s.input.end(), file.begin(), file.end());
        }
        lzma_lzma_preset(&s.options, 6);
        s.properties = {s.options.lc, s.options.lp, s.options.pb, s.options.dict_size};
        lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &s.options}, {LZMA_VLI_UNKNOWN, nullptr}};
        s.stream.resize(s.input.size() + 65536);
        size_t written = 0;
        if (lzma_raw_buffer_encode(filters, nullptr, s.input.data(), s.input.size(), s.stream.data(), &written,
                                   s.stream.size()) != LZMA_OK)
            throw std::runtime_error("liblzma could not encode the corpus");
        s.stream.resize(written);
        return s;
    }();
    return solid;
}

void Kiln(benchmark::State& state) {
    const Solid& s = Corpus();
    Bytes out(s.input.size());
    for (auto _ : state)
        if (LzmaDecodeBuffer(s.properties, s.stream.data(), s.stream.size(), out.data(), out.size()) != kLzmaOk)
            state.SkipWithError("decode failed");
    state.SetBytesProcessed(int64_t(state.iterations() * s.input.size()));
}

void Liblzma(benchmark::State& state) {
    const Solid& s = Corpus();
    Bytes out(s.input.size());
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, const_cast<lzma_options_lzma*>(&s.options)},
                             {LZMA_VLI_UNKNOWN, nullptr}};
    for (auto _ : state) {
        size_t in_position = 0, out_position = 0;
        lzma_ret r = lzma_raw_buffer_decode(filters, nullptr, s.stream.data(), &in_position, s.stream.size(),
                                            out.data(), &out_position, out.size());
        if (r != LZMA_OK && r != LZMA_STREAM_END) state.SkipWithError("liblzma failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations() * s.input.size()));
}

BENCHMARK(Kiln)->Unit(benchmark::kMillisecond);
BENCHMARK(Liblzma)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
