#include "builder/archive/delta_encoder.h"

#include <divsufsort.h>

#include <cstring>
#include <stdexcept>

namespace {

// How many leading bytes a and b share, up to max.
uint32_t CommonPrefix(const uint8_t* a, const uint8_t* b, uint32_t max) {
    uint32_t k = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; k + 8 <= max; k += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + k, 8);
        std::memcpy(&y, b + k, 8);
        if (x != y) return k + uint32_t(__builtin_ctzll(x ^ y) / 8);
    }
#endif
    while (k < max && a[k] == b[k]) ++k;
    return k;
}

// What a copy saves over sending its bytes as literals: its length less its
// op byte and displacement bytes. Not positive: not worth a copy.
int64_t Gain(uint32_t length, int64_t displacement) {
    int d = DisplacementBytes(displacement);
    if (d == 0 || length < 2) return 0;
    return int64_t(length) - 1 - d;
}

// Candidates looked at on each side of the suffix array position where the
// target would sort: equally long runs elsewhere in the base that may lie
// closer to the base position. Measured on pairs of DLL builds: 8 leaves
// a few percent on the table, 256 gains under 1% over 64 at twice the time.
constexpr int kNeighbours = 64;
// What a copy must save before it replaces literals. Both items are
// compressed, and literal runs compress better than the ops that break them
// up; on DLL builds 3 gave deltas about 9% smaller than 0.
constexpr int64_t kMinCopyGain = 3;
// The shortest run that can save more than that: a copy costs its op byte
// and at least one displacement byte.
constexpr uint32_t kMinUsefulRun = uint32_t(kMinCopyGain) + 3;

}  // namespace

int DisplacementBytes(int64_t s) {
    if (s >= -32 && s <= 31) return 1;
    if (s >= -16416 && s <= 16415) return 2;
    if (s >= kDeltaMinDisplacement && s <= kDeltaMaxDisplacement) return 3;
    return 0;
}

namespace {

uint32_t PairKey(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }

// A hash of the kMinUsefulRun bytes at p, `bits` wide.
uint32_t RunHash(const uint8_t* p, unsigned bits) {
    uint64_t v = 0;
    for (uint32_t i = 0; i < kMinUsefulRun; ++i) v |= uint64_t(p[i]) << (8 * i);
    return uint32_t((v * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

}  // namespace

DeltaBase::DeltaBase(Bytes base) : base_(std::move(base)) {
    if (base_.size() > 0x7FFFFFFF) throw std::length_error("a delta base is limited to 2 GiB");
    const uint32_t n = uint32_t(base_.size());
    suffixes_.resize(n);
    if (n && divsufsort(base_.data(), suffixes_.data(), saidx_t(n)) != 0)
        throw std::runtime_error("suffix sorting failed");

    // Where the suffixes beginning with each pair of bytes lie in the
    // suffix array: counted, then summed. The one-byte suffix at the end
    // sorts before every longer one that begins with its byte.
    pair_start_.assign(65537, 0);
    for (uint32_t i = 0; i + 1 < n; ++i) pair_start_[PairKey(&base_[i]) + 1]++;
    for (uint32_t k = 0; k < 65536; ++k) pair_start_[k + 1] += pair_start_[k];
    if (n) {
        for (uint32_t k = uint32_t(base_[n - 1]) << 8; k <= 65536; ++k) pair_start_[k]++;
    }
    // Which runs of kMinUsefulRun bytes the base may hold (no false "no"),
    // in about eight bits per base byte: few false "yes" answers, and a
    // small base's table stays in the cache.
    run_bits_ = 16;
    while (run_bits_ < 24 && (uint64_t(1) << run_bits_) < uint64_t(n) * 8) ++run_bits_;
    runs_.assign(size_t(1) << run_bits_, false);
    for (uint32_t i = 0; i + kMinUsefulRun <= n; ++i) runs_[RunHash(&base_[i], run_bits_)] = true;
}

DeltaBase::Match DeltaBase::Longest(const uint8_t* target, uint32_t limit, int64_t near) const {
    Match best;
    int64_t best_gain = kMinCopyGain;
    const uint32_t n = uint32_t(base_.size());
    auto consider = [&](uint32_t position, uint32_t length) {
        int64_t gain = Gain(length, int64_t(position) - near);
        if (gain > best_gain) best_gain = gain, best = {position, length};
    };
    if (limit > kDeltaCopyBufferSize) limit = kDeltaCopyBufferSize;
    if (n == 0 || limit < kMinUsefulRun) return best;

    // Going on where the last copy ended is the cheapest displacement (0).
    if (near >= 0 && near < int64_t(n)) {
        uint32_t at = uint32_t(near);
        consider(at, CommonPrefix(target, &base_[at], std::min(limit, n - at)));
        if (best.length == limit) return best;
    }

    if (!runs_[RunHash(target, run_bits_)]) return best;

    // Binary search for where the target sorts among the base's suffixes,
    // within those that begin with its first two bytes. Every suffix
    // between lo and hi shares min(lo_common, hi_common) bytes with the
    // target, so comparisons start after them.
    uint32_t key = PairKey(target);
    uint32_t lo = pair_start_[key], hi = pair_start_[key + 1], lo_common = 2, hi_common = 2;
    if (lo == hi) return best;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        uint32_t at = uint32_t(suffixes_[mid]);
        uint32_t k = std::min(lo_common, hi_common);
        uint32_t max = std::min(limit, n - at);
        k += CommonPrefix(target + k, &base_[at] + k, max - k);
        if (k == limit) {
            hi = mid, hi_common = k;
        } else if (k == max || base_[at + k] < target[k]) {
            lo = mid + 1, lo_common = k;
        } else {
            hi = mid, hi_common = k;
        }
    }
    // The longest runs sort right next to that place; their neighbours share
    // ever shorter prefixes with the target.
    for (int side : {-1, 1}) {
        int64_t j = side < 0 ? int64_t(lo) - 1 : int64_t(lo);
        for (int seen = 0; seen < kNeighbours && j >= 0 && j < int64_t(n); ++seen, j += side) {
            uint32_t at = uint32_t(suffixes_[size_t(j)]);
            uint32_t length = CommonPrefix(target, &base_[at], std::min(limit, n - at));
            // A shorter run can win only by a cheaper displacement (2 bytes at most).
            // Runs only get shorter further out: stop where none can pay.
            if (length < kMinUsefulRun || length + 2 < best.length) break;
            consider(at, length);
        }
    }
    return best;
}

namespace {

// Appends ops to the command stream. Literal bytes go to the literal stream
// at once; their ops are held back so that the last three can share a short
// copy's op byte.
class CommandWriter {
public:
    explicit CommandWriter(DeltaCommands& out) : out_(out) {}

    void Literal(uint8_t byte) {
        out_.literals.push_back(byte);
        ++pending_;
    }

    // Copies `length` (2 to kDeltaCopyBufferSize) base bytes from `position`.
    void Copy(uint32_t position, uint32_t length) {
        int64_t s = int64_t(position) - base_position_;
        uint32_t shared = length <= 33 ? std::min<uint32_t>(pending_, 3) : 0;
        FlushLiterals(pending_ - shared);
        if (shared) {
            Op(uint8_t(0x80 | shared << 5 | (length - 2)));
        } else if (length <= 128) {
            Op(uint8_t(length - 1));
        } else {
            Op(0);
            Op(uint8_t(length - 129));
            Op(uint8_t((length - 129) >> 8));
        }
        pending_ = 0;
        Displacement(s);
        base_position_ = int64_t(position) + length;
    }

    int64_t base_position() const { return base_position_; }
    void Finish() { FlushLiterals(pending_); }

private:
    void Op(uint8_t b) { out_.commands.push_back(b); }

    void FlushLiterals(uint32_t count) {
        while (count) {
            uint32_t run = std::min<uint32_t>(count, 32);
            Op(uint8_t(0x80 | (run - 1)));
            count -= run;
            pending_ -= run;
        }
    }

    void Displacement(int64_t s) {
        switch (DisplacementBytes(s)) {
        case 1:
            Op(uint8_t(0x80 | (s & 0x3F)));
            break;
        case 2: {
            uint32_t v = uint32_t(s >= 0 ? s - 32 : s + 32768 + 32);
            Op(uint8_t(v >> 8)), Op(uint8_t(v));
            break;
        }
        case 3: {
            uint32_t v = uint32_t(s >= 0 ? s - 16416 : s + 4194304 + 16416);
            Op(uint8_t(0xC0 | v >> 16)), Op(uint8_t(v >> 8)), Op(uint8_t(v));
            break;
        }
        default:
            throw std::logic_error("delta displacement out of reach");
        }
    }

    DeltaCommands& out_;
    uint32_t pending_ = 0;
    int64_t base_position_ = 0;
};

}  // namespace

DeltaCommands EncodeDelta(const DeltaBase& base, const Bytes& target) {
    if (target.size() > 0x7FFFFFFF) throw std::length_error("a delta target is limited to 2 GiB");
    DeltaCommands out;
    CommandWriter writer(out);
    const uint32_t n = uint32_t(target.size());
    uint32_t i = 0;
    while (i < n) {
        int64_t near = writer.base_position();
        DeltaBase::Match m = base.Longest(&target[i], n - i, near);
        int64_t gain = Gain(m.length, int64_t(m.position) - near);
        // One step of lazy matching: a better run starting at the next byte
        // is worth one literal.
        if (gain > kMinCopyGain && i + 1 < n && m.length < kDeltaCopyBufferSize) {
            DeltaBase::Match next = base.Longest(&target[i + 1], n - i - 1, near);
            if (Gain(next.length, int64_t(next.position) - near) > gain) gain = 0;
        }
        if (gain <= kMinCopyGain) {
            writer.Literal(target[i++]);
            continue;
        }
        writer.Copy(m.position, m.length);
        i += m.length;
    }
    writer.Finish();
    return out;
}
