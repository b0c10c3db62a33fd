#pragma once
#include <string>
#include <vector>

#include "update/catalogue.h"
#include "update/file_meta_cache.h"
#include "update/worker_results.h"

// Creates every folder level of the path, outermost first; existing folders and
// failures are ignored.
void createDirectories(const std::string& path);

// Downloads each record's file from baseUrl and replaces its copy below root (as for
// diffFiles). A file that cannot be downloaded or written keeps its old content (the
// replacement is atomic) and is returned with its reason; the next comparison lists it
// again. Connection failures and corrupt data end the whole installation by exception.
// The cache learns the digest of each written file it holds no entry for.
std::vector<FileFailure> updateFiles(const std::vector<FileRecord>& files, const std::string& baseUrl,
                                     const std::string& root, FileMetaCache& cache, const ProgressSink& progress);
