#pragma once
#include <string>
#include <vector>

#include "formats/catalogue.h"
#include "update/file_meta_cache.h"
#include "update/worker_results.h"

namespace update {

// Compares each record's file below root (a folder ending in a separator, or "" for the
// working directory) with the record's digest, trusting the cache for unchanged files and
// recording fresh digests in it. Returns the records that differ, in order; a refused record
// (an unsafe key) always differs and its file is never read.
formats::FileList diffFiles(const formats::FileList& records, const std::string& root, FileMetaCache& cache,
                   const ProgressSink& progress);

}  // namespace update
