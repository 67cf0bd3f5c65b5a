// Which files may be stored as deltas, and against which bases. The setup
// program builds a delta entry's file by decoding the base entry's archive
// data as one plain stream into a temporary file, checking it against the
// base entry's checksum, and applying the delta to it. The base is read from
// the archive, never from an installed file, so it may be any file of any
// setup type whose archive data is a plain stream of its own bytes.
#pragma once
#include <string>
#include <vector>

#include "builder/manifest/product.h"
#include "builder/archive/similarity.h"

const ProductFile& FileAt(const Product& p, EntryRef ref);

// A file whose archive data is one plain stream of its own bytes.
bool IsArchived(const ProductFile& f);

// Why `entry` cannot be stored as a delta against `base`, in words naming
// the base; "" when it can.
std::string DeltaBaseProblem(const Product& p, EntryRef entry, EntryRef base);

// Files worth measuring as bases for `target`, best first, at most
// `max_count`: among `pool`, those at most kMaxBaseToTarget times the
// target's size that hold at least kMinBaseShare of the target's 8-byte
// runs by their similarity sketches, the largest share first, and in pool
// order where shares are equal. Measured on Wine's DLLs, which all share
// some start-up code: files that share less than a fifth are worth more as
// bases for others than as deltas; the best candidate alone comes within 1%
// of the best of two at half the time; and a much larger base costs the
// setup program more to decode than it saves, while keeping files of other
// sizes whole gives later files better bases.
struct BaseCandidate {
    EntryRef ref;
    std::string name;  // target name
    uint64_t size = 0;
    const Sketch* sketch = nullptr;
};
constexpr double kMinBaseShare = 0.2;
constexpr uint64_t kMaxBaseToTarget = 4;
constexpr size_t kAutoDeltaCandidates = 1;
std::vector<EntryRef> RankDeltaBases(const BaseCandidate& target, const std::vector<BaseCandidate>& pool,
                                     size_t max_count);

// For files in the order they are archived: true for each file that a later
// file of the same name and a similar size (half to twice) follows. Such a
// file is kept whole by the automatic search, so that the later one (most
// likely another build of it) can be stored as a delta against it; the
// format allows no delta of a delta.
std::vector<bool> KeepWholeForLaterNamesakes(const std::vector<BaseCandidate>& files);
