#include "builder/archive/stream_encoder.h"

#include <libdeflate.h>
#include <zopfli/zopfli.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "builder/archive/deflate_transcoder.h"

namespace {

// One compressor per thread and level, kept from call to call: setting up
// the slower levels' state costs more than compressing a small file.
libdeflate_compressor* CompressorFor(int level) {
    using Owned = std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)>;
    thread_local std::vector<Owned> kept;
    while (kept.size() <= size_t(level)) kept.emplace_back(nullptr, libdeflate_free_compressor);
    if (!kept[level]) kept[level].reset(libdeflate_alloc_compressor(level));
    if (!kept[level]) throw std::runtime_error("out of memory for the compressor");
    return kept[level].get();
}

std::vector<uint8_t> Libdeflate(const uint8_t* data, size_t size, int level) {
    libdeflate_compressor* compressor = CompressorFor(level);
    std::vector<uint8_t> out(libdeflate_deflate_compress_bound(compressor, size));
    size_t written = libdeflate_deflate_compress(compressor, data, size, out.data(), out.size());
    if (written == 0) throw std::runtime_error("compressor output exceeded its bound");
    out.resize(written);
    return out;
}

std::vector<uint8_t> Zopfli(const uint8_t* data, size_t size) {
    ZopfliOptions options;
    ZopfliInitOptions(&options);
    // Each iteration re-runs the whole optimal parse; past a few megabytes
    // the later ones gain little for their time.
    options.numiterations = size > (4u << 20) ? 5 : size > (1u << 20) ? 10 : 15;
    unsigned char* raw = nullptr;
    size_t raw_size = 0;
    ZopfliCompress(&options, ZOPFLI_FORMAT_DEFLATE, data, size, &raw, &raw_size);
    std::vector<uint8_t> out(raw, raw + raw_size);
    std::free(raw);
    return out;
}

}  // namespace

std::vector<uint8_t> EncodeStream(const uint8_t* data, size_t size, int level) {
    if (level < kMinLevel || level > kMaxLevel)
        throw std::invalid_argument("compression level " + std::to_string(level) + " is not in " +
                                    std::to_string(kMinLevel) + ".." + std::to_string(kMaxLevel));
    // A final fixed block holding only the end-of-block code; the
    // compressors are not asked about a buffer that may be null.
    if (size == 0) return {0x0D, 0x00};

    std::vector<uint8_t> deflate = level == kMaxLevel ? Zopfli(data, size) : Libdeflate(data, size, level);
    std::vector<uint8_t> out;
    if (!TranscodeDeflate(deflate.data(), deflate.size(), out))
        throw std::runtime_error("compressor produced a stream the transcoder refused");
    return out;
}
