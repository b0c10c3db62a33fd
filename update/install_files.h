#pragma once
#include <string>
#include <vector>

#include "formats/catalogue.h"
#include "update/file_meta_cache.h"
#include "update/transfers.h"
#include "update/worker_results.h"

namespace update {

// Creates every folder level of the path, outermost first; existing folders and
// failures are ignored.
void createDirectories(const std::string& path);

// The temporary file a download streams into, beside its target: a fixed name, so that the
// leftover of a killed run is recognised and removed by the next installation of that file.
std::string temporaryInstallPath(const std::string& path);

// Removes what downloads of the file at `path` left beside it (a run cut short or killed: the
// temporary file, kept compressed bytes); only under the installation's lock.
void removeDownloadLeftovers(const std::string& path);

// Removes what earlier runs left beside the files of `selected` that are not among `differing`
// (a download cut by a kill, kept compressed bytes), as `differing` was picked from `selected`:
// a file that no longer differs is not installed, so nothing else would remove them. Only under
// the installation's lock, so they are never another updater's work in progress.
void removeLeftoversOfCurrentFiles(const formats::FileList& selected, const formats::FileList& differing,
                                   const std::string& root);

// Downloads each record's file from the servers (the update server and its mirrors, asked in
// turn as fetchFile does) and replaces its copy below root (as for diffFiles) once its content is
// whole and has the list's digest, options.jobs files at a time, each worker on its own kept
// connection to each server; the order in which files are replaced is open, the outcome is not. A
// file that fails (a refused key, a status, a time-out, a body that is not one complete zlib or
// gzip stream, a wrong digest, a name the client refuses, a write error) keeps its old content
// and is returned with its reason, after the retries and servers TransferOptions and the list
// allow; a read-only target fails before its download. Only a failing connection to every server
// (refused, reset, no such host: http::ConnectionError) that outlives its retries ends the
// installation, by exception, once the files on the way have ended; so does another process
// holding the installation's lock (InstallationBusy, before anything is touched). The cache holds
// the digest of each written file, and everything written is flushed to disk before this returns.
// Progress counts the files ended.
std::vector<FileFailure> updateFiles(const std::vector<formats::FileRecord>& files, const ServerList& servers,
                                     const std::string& root, FileMetaCache& cache, const ProgressSink& progress,
                                     const TransferOptions& options = {});

}  // namespace update
