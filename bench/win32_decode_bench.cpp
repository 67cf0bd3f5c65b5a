// Decode throughput of the setup program's own 32-bit decoder, built as the
// stub builds it, against zlib's 32-bit inflate, both under Wine, on the
// same LZ77 parses: each file is compressed once with zlib as raw Deflate
// and transcoded into the setup program's format. zlib is linked here only.
//
//   win32_decode_bench.exe [FOLDER] [--files N] [--rounds R]
//
// FOLDER (every file in it, by name) defaults to Wine's own 32-bit DLLs.
// Rounds alternate between the two decoders. On a shared machine the best
// round is the steadiest figure: the ratio is taken from the best rounds,
// and the medians are printed beside them.
#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "builder/archive/deflate_transcoder.h"
#include "decoder/inflate.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Sample {
    Bytes original, deflate, ours;
};

Bytes ReadWhole(const std::string& path) {
    Bytes out;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    DWORD size = GetFileSize(h, nullptr), got = 0;
    out.resize(size);
    if (!ReadFile(h, out.data(), size, &got, nullptr) || got != size) out.clear();
    CloseHandle(h);
    return out;
}

Bytes RawDeflate(const Bytes& in) {
    z_stream z = {};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, uLong(in.size())));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::vector<Sample> LoadCorpus(const std::string& folder, size_t max_files) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
        while (FindNextFileA(find, &found));
        FindClose(find);
    }
    std::sort(names.begin(), names.end());
    if (names.size() > max_files) names.resize(max_files);
    std::vector<Sample> samples;
    for (const std::string& name : names) {
        Sample s;
        s.original = ReadWhole(folder + "\\" + name);
        if (s.original.empty()) continue;
        s.deflate = RawDeflate(s.original);
        if (!TranscodeDeflate(s.deflate.data(), s.deflate.size(), s.ours)) continue;
        samples.push_back(std::move(s));
    }
    return samples;
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(frequency.QuadPart);
}

// Seconds for one pass over the corpus; negative when a decode failed.
double KilnRound(const std::vector<Sample>& corpus, Bytes& out) {
    double start = Now();
    for (const Sample& s : corpus) {
        size_t produced = 0;
        if (InflateBuffer(s.ours.data(), s.ours.size(), out.data(), s.original.size(), &produced) != kInflateOk ||
            produced != s.original.size())
            return -1;
    }
    return Now() - start;
}

// Every stream decodes to its file, before anything is timed.
bool KilnDecodesCorpus(const std::vector<Sample>& corpus, Bytes& out) {
    for (const Sample& s : corpus) {
        size_t produced = 0;
        if (InflateBuffer(s.ours.data(), s.ours.size(), out.data(), s.original.size(), &produced) != kInflateOk ||
            produced != s.original.size() || std::memcmp(out.data(), s.original.data(), produced) != 0)
            return false;
    }
    return true;
}

double ZlibRound(const std::vector<Sample>& corpus, Bytes& out) {
    double start = Now();
    for (const Sample& s : corpus) {
        z_stream z = {};
        inflateInit2(&z, -15);
        z.next_in = const_cast<Bytef*>(s.deflate.data());
        z.avail_in = uInt(s.deflate.size());
        z.next_out = out.data();
        z.avail_out = uInt(s.original.size());
        int r = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        if (r != Z_STREAM_END) return -1;
    }
    return Now() - start;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

int main(int argc, char** argv) {
    std::string folder = "Z:\\usr\\lib\\i386-linux-gnu\\wine\\i386-windows";
    size_t files = 300;
    int rounds = 9;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--files") && i + 1 < argc) files = size_t(std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc) rounds = std::max(1, std::atoi(argv[++i]));
        else folder = argv[i];
    }
    std::vector<Sample> corpus = LoadCorpus(folder, files);
    size_t total = 0, largest = 0;
    for (const Sample& s : corpus) total += s.original.size(), largest = std::max(largest, s.original.size());
    if (corpus.empty()) {
        std::fprintf(stderr, "no files in %s\n", folder.c_str());
        return 1;
    }
    std::printf("corpus: %zu files, %.1f MB\n", corpus.size(), total / 1e6);
    Bytes out(largest);
    if (!KilnDecodesCorpus(corpus, out)) {
        std::fprintf(stderr, "kiln decode gave other bytes\n");
        return 1;
    }
    std::vector<double> kiln, zlib;
    for (int r = 0; r < rounds; ++r) {
        double k = KilnRound(corpus, out), z = ZlibRound(corpus, out);
        if (k < 0 || z < 0) {
            std::fprintf(stderr, "%s decode failed\n", k < 0 ? "kiln" : "zlib");
            return 1;
        }
        kiln.push_back(k), zlib.push_back(z);
    }
    double mb = total / 1e6;
    std::printf("kiln (stub build): %7.1f MB/s best, %7.1f MB/s median of %d\n", mb / Best(kiln), mb / Median(kiln),
                rounds);
    std::printf("zlib inflate:      %7.1f MB/s best, %7.1f MB/s median of %d\n", mb / Best(zlib), mb / Median(zlib),
                rounds);
    std::printf("kiln / zlib: %.2fx (best rounds), %.2fx (medians)\n", Best(zlib) / Best(kiln),
                Median(zlib) / Median(kiln));
    return 0;
}
