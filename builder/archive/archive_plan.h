// The file archive of a product: every archived file's data, stored once per
// distinct content, as a plain compressed stream or as a delta (a command
// item and a literal item) against another file's stream, whichever is
// smaller. Gives each file list entry its archive offset, sizes, checksum,
// version and times.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "builder/archive/archived_file.h"
#include "builder/manifest/product.h"

// A delta that was measured: one the manifest asked for, or one that the
// automatic search kept.
struct DeltaChoice {
    EntryRef entry, base;
    uint32_t plain_size = 0;  // the file's own compressed stream
    uint32_t delta_size = 0;  // both items
    bool kept = false;        // smaller than the plain stream, so stored
    bool automatic = false;   // found by the search, not named in the manifest
};

struct ArchivePlan {
    Bytes archive;
    Bytes solid_table;  // the block table body of a solid archive (package/solid_blocks.h); empty otherwise
    bool solid_linked = false;  // its blocks form one chain (kTagSolidBlocksLinked)
    std::vector<std::vector<ArchivedFile>> files;  // by setup type, by entry; zeros for unarchived entries
    std::vector<DeltaChoice> deltas;
};

struct ArchiveProgress {
    // Called, one call at a time, as each piece of work on a file is done
    // (its stream, then each delta measured): pieces done before it, pieces
    // in all, the file's source; last with done == total.
    std::function<void(size_t done, size_t total, const std::string& source)> on_file;
};

// Throws BuildError (builder/manifest/build_error.h) for unreadable
// sources, files too large for the format, and delta bases the setup
// program could not use.
// Runs on `threads` threads (0: BuildThreads()); the plan is the same for
// any number of them.
ArchivePlan PlanArchive(const Product& product, int level, const ArchiveProgress& progress = {},
                        unsigned threads = 0);

// A source file's bytes (BuildError when it cannot be read), and what the
// file itself gives its entry: size, checksum, version and times.
Bytes ReadSource(const ProductFile& file);
ArchivedFile Describe(const ProductFile& file, const Bytes& data);
