#pragma once
// The updater replaces itself, only with a program that the built-in key signed.
//
// The server publishes the program compressed at "QuarnMpUpdater/<program file name>", with
// its signature beside it (of the compressed bytes as served), and its MD5 digest, signed
// too, at "QuarnMpUpdater/index.html". A program is taken only when its signature holds, is
// of a release no older than the one the installation accepted, and it inflates to exactly
// the signed digest; then it replaces the installed one in one step (platform/program_file.h).
// A build without a key never replaces itself: whoever answers for the server would choose
// the program the player runs next.
#include <string>

#include "update/release_verification.h"
#include "update/server_address.h"
#include "update/worker_results.h"

namespace update {

enum class SelfUpdateState { Current, Outdated, Replaced, Failed };

struct SelfUpdateOutcome {
  SelfUpdateState state = SelfUpdateState::Failed;
  std::string reason;  // why it failed
};

// The installation's updater program: the folder ("" for the working directory, else ending
// in '/') followed by "QuarnMpUpdater" as the operating system names programs.
std::string updaterProgramPath(const std::string& folder);

// What the server serves for the updater program.
std::string updaterProgramServerPath();

// Compares the installed program with the published digest (from the first server that answers)
// and, unless only checking, replaces it when it differs: the program is fetched like the files
// of an update (retried, continued after a cut, from the next server when one fails it or serves
// one that does not pass) into "<program>.quarnmp-download", removed again before the
// replacement. Never throws.
SelfUpdateOutcome selfUpdate(const formats::TrustedKey& trusted, const ServerList& servers, const std::string& folder,
                             bool checkOnly);

// selfUpdate for the program at `program` (the running window's own file), the installation's
// record of accepted releases in `folder`; progress from 0 to 1 as the steps pass.
SelfUpdateOutcome selfUpdateProgram(const formats::TrustedKey& trusted, const ServerList& servers,
                                    const std::string& folder, const std::string& program, bool checkOnly,
                                    const ProgressSink& progress);

// Whether this build was given a public key, and so offers to replace itself.
bool buildReplacesItself();

}  // namespace update
