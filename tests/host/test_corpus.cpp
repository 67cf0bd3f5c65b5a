#include "tests/host/test_corpus.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

const char kPeDirectory[] = "/usr/lib/i386-linux-gnu/wine/i386-windows";

using Bytes = std::vector<uint8_t>;

// xorshift32: every output bit is usable, so Noise() has no short period.
class Random {
public:
    explicit Random(uint32_t seed) : state_(seed | 1) {}
    uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    Bytes Noise(size_t size) {
        Bytes out(size);
        for (uint8_t& b : out) b = uint8_t(Next());
        return out;
    }

private:
    uint32_t state_;
};

// Words from a small vocabulary: many short, near matches, like prose.
Bytes Text(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"setup ", "install ", "the ",   "files ",  "folder ", "windows ",
                                         "copy ",  "program ", "of ",    "to ",     "kiln ",   "archive ",
                                         "\r\n",   "a ",       "data ",  "stream ", "block ",  "is "};
    Random random(seed);
    Bytes out;
    while (out.size() < size) {
        const char* w = kWords[random.Next() % std::size(kWords)];
        out.insert(out.end(), w, w + std::char_traits<char>::length(w));
    }
    out.resize(size);
    return out;
}

// Runs of one byte, from single bytes to runs far longer than a match.
Bytes Runs(size_t size, uint32_t seed) {
    Random random(seed);
    Bytes out;
    while (out.size() < size) {
        uint32_t n = random.Next() % 8 == 0 ? 1 + random.Next() % 5000 : 1 + random.Next() % 20;
        out.insert(out.end(), n, uint8_t(random.Next() % 4));
    }
    out.resize(size);
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

std::vector<std::vector<uint8_t>> SyntheticCorpus() {
    Random random(7);
    Bytes window = random.Noise(32767);
    return {
        {},
        {'x'},
        Text(60, 1),       // short enough for the fixed code
        Bytes(300, 'z'),   // fixed code, overlapping matches
        Text(32767, 2),
        Text(32768, 3),
        Text(32769, 4),
        random.Noise(100000),  // more than one stored block's 65535 bytes
        Text(300000, 5),
        Runs(200000, 6),
        Bytes(70000, 0),
        Concat({window, window}),  // matches at the longest distance the compressors use
        // Stored blocks between Huffman blocks, starting mid-byte.
        Concat({Text(50000, 7), random.Noise(150000), Text(50000, 8), Runs(20000, 9)}),
    };
}

std::vector<std::string> PeCorpusFiles(size_t max_files) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(kPeDirectory, error))
        if (entry.is_regular_file(error) && entry.path().extension() == ".dll")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    if (files.size() > max_files) files.resize(max_files);
    return files;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot open " + path);
    return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}
