// The archive of Kiln's own compression mode: solid LZMA blocks
// (package/solid_blocks.h), encoded by liblzma, one block per core at a time.
#pragma once
#include "builder/archive/archive_plan.h"

// Like PlanArchive, with no deltas: inside a solid block LZMA's long
// matches already find what a delta against a similar file would.
ArchivePlan PlanSolidArchive(const Product& product, const ArchiveProgress& progress = {}, unsigned threads = 0);
