#include "builder/archive/stream_encoder.h"

#include <libdeflate.h>
#include <zopfli/zopfli.h>

#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>

#include "builder/archive/deflate_transcoder.h"

namespace {

// Compressors are kept from call to call: setting up the slower levels'
// state costs more than compressing a small file. Idle ones wait in a pool,
// one per level for each thread that used that level at once. (A pool, not
// thread_local storage: the mingw runtime kiln.exe links statically calls
// thread_local destructors unreliably when a thread ends.)
struct CompressorPool {
    std::mutex lock;
    std::vector<std::pair<int, libdeflate_compressor*>> idle;
    ~CompressorPool() {
        for (auto& [level, compressor] : idle) libdeflate_free_compressor(compressor);
    }
};

CompressorPool& Pool() {
    static CompressorPool pool;
    return pool;
}

// A compressor of one level, back to the pool when done.
class BorrowedCompressor {
public:
    explicit BorrowedCompressor(int level) : level_(level) {
        CompressorPool& pool = Pool();
        std::lock_guard<std::mutex> hold(pool.lock);
        for (size_t i = 0; i < pool.idle.size(); ++i)
            if (pool.idle[i].first == level) {
                compressor_ = pool.idle[i].second;
                pool.idle.erase(pool.idle.begin() + long(i));
                return;
            }
    }
    ~BorrowedCompressor() {
        if (!compressor_) return;
        CompressorPool& pool = Pool();
        std::lock_guard<std::mutex> hold(pool.lock);
        pool.idle.emplace_back(level_, compressor_);
    }
    BorrowedCompressor(const BorrowedCompressor&) = delete;
    BorrowedCompressor& operator=(const BorrowedCompressor&) = delete;
    libdeflate_compressor* get() {
        if (!compressor_) compressor_ = libdeflate_alloc_compressor(level_);
        if (!compressor_) throw std::runtime_error("out of memory for the compressor");
        return compressor_;
    }

private:
    int level_;
    libdeflate_compressor* compressor_ = nullptr;
};

std::vector<uint8_t> Libdeflate(const uint8_t* data, size_t size, int level) {
    BorrowedCompressor borrowed(level);
    libdeflate_compressor* compressor = borrowed.get();
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
