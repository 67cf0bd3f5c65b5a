// The pattern search of file patch entries: found wherever it lies, also
// across the steps of its window, and only where it really is.
#include "engine/pattern_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A file in memory, read in the pieces the search asks for; `deliver`
// cuts the file short to test a read that stops early.
struct MemoryFile {
    const Bytes* bytes;
    size_t at = 0;
    size_t deliver;
};

uint32_t ReadMemory(void* file, uint8_t* into, uint32_t n) {
    MemoryFile* f = static_cast<MemoryFile*>(file);
    size_t end = std::min(f->deliver, f->bytes->size());
    size_t count = std::min<size_t>(n, end > f->at ? end - f->at : 0);
    std::memcpy(into, f->bytes->data() + f->at, count);
    f->at += count;
    return uint32_t(count);
}

uint32_t Find(const Bytes& file, const Bytes& pattern, size_t deliver = SIZE_MAX) {
    std::vector<uint8_t> window(kPatternWindowSize);
    MemoryFile f{&file, 0, deliver};
    return FindEndOfPattern(window.data(), uint32_t(file.size()), pattern.data(), uint32_t(pattern.size()), ReadMemory,
                            &f);
}

// The answer of a plain search over the whole file.
uint32_t Expected(const Bytes& file, const Bytes& pattern) {
    auto it = std::search(file.begin(), file.end(), pattern.begin(), pattern.end());
    return it == file.end() || pattern.empty() ? kPatternNotFound : uint32_t(it - file.begin() + pattern.size());
}

Bytes Noise(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    Bytes b(n);
    for (uint8_t& x : b) x = uint8_t(random() % 7);  // few values: many partial matches
    return b;
}

Bytes Planted(size_t size, size_t at, const Bytes& pattern) {
    Bytes file(size, 0xEE);
    std::copy(pattern.begin(), pattern.end(), file.begin() + at);
    return file;
}

TEST(PatternSearch, FoundWhereverItLies) {
    const Bytes p = {'K', 'I', 'L', 'N', '-', 'P', 'A', 'T'};
    struct Case {
        size_t size, at;
    } cases[] = {
        {100, 0},                     // at the very start: the data goes at offset 8
        {100, 92},                    // at the very end
        {8, 0},                       // the whole file
        {40000, kPatternStep - 3},    // across the first step
        {40000, kPatternStep},        // right at it
        {40000, 2 * kPatternStep - 4},  // across the window's end
        {100000, 3 * kPatternStep - 1},  // across a later step, found from a moved window
        {100000, 100000 - 8},         // at the end of a file of several windows
        {kPatternWindowSize, kPatternWindowSize - 8},  // a file of exactly one window
        {kPatternWindowSize + 1, kPatternWindowSize - 7},
    };
    for (const Case& c : cases) {
        Bytes file = Planted(c.size, c.at, p);
        EXPECT_EQ(Find(file, p), c.at + p.size()) << c.size << " @ " << c.at;
    }
}

TEST(PatternSearch, LongestPatternAcrossSteps) {
    Bytes p = Noise(kPatternStep, 1);
    for (size_t at : {size_t(0), size_t(1), size_t(kPatternStep - 1), size_t(kPatternStep + 5), size_t(50000)}) {
        Bytes file = Planted(90000, at, p);
        EXPECT_EQ(Find(file, p), at + p.size()) << at;
    }
    p.push_back(1);  // one byte longer than a step: never searched
    EXPECT_EQ(Find(Planted(90000, 10, p), p), kPatternNotFound);
}

TEST(PatternSearch, NotFoundWhereItIsNot) {
    const Bytes p = {1, 2, 3};
    EXPECT_EQ(Find(Bytes{1, 2}, p), kPatternNotFound);          // file shorter than the pattern
    EXPECT_EQ(Find(Bytes{}, p), kPatternNotFound);
    EXPECT_EQ(Find(Bytes(50000, 1), p), kPatternNotFound);
    EXPECT_EQ(Find(Bytes{1, 2, 3}, Bytes{}), kPatternNotFound);  // an empty pattern finds nothing
    // A file that stops delivering before its size ends there.
    Bytes file = Planted(60000, 50000, p);
    EXPECT_EQ(Find(file, p, 40000), kPatternNotFound);
    EXPECT_EQ(Find(file, p, 50003), 50003u);
}

TEST(PatternSearch, AgreesWithAPlainSearch) {
    for (unsigned seed = 0; seed < 40; ++seed) {
        Bytes file = Noise(1000 + seed * 2500, seed);
        std::mt19937 random(seed);
        size_t length = 1 + random() % 12;
        size_t at = random() % (file.size() - length);
        Bytes p(file.begin() + long(at), file.begin() + long(at + length));
        EXPECT_EQ(Find(file, p), Expected(file, p)) << "seed " << seed;
    }
}

}  // namespace
