#pragma once
// The background tasks and what the window asks about them. Everything here is called on
// the window's thread and never blocks beyond a short lock. This file alone writes the
// process-wide UpdaterState.
#include <optional>
#include <string>
#include <vector>

#include "update/server_address.h"
#include "update/transfers.h"
#include "update/updater_state.h"

namespace update {

// Each clears errorCode and starts one task, and returns true; while a task runs they
// refuse, changing nothing, and return false (the window offers them only while none runs).
// Each asks the servers in turn (the window: the built-in list); headless tools may name others.
bool startFetch(const ServerList& servers = builtInServers());  // also asks for the updater's digest again
// startFetch without the digest request. A newer signed release it accepts becomes the
// installation's newest (updater_release.json) unless recordRelease is false: a look that
// installs nothing (quarnmp-cli check) leaves the record alone.
bool startCatalogueFetch(const ServerList& servers, bool recordRelease = true);
bool startDiff();  // compares the first set; nothing starts while the catalogue is empty
// Installs the differing files, `jobs` at a time, and compares again; the server that gave the
// catalogue is asked first.
bool startUpdateDiff(const ServerList& servers = builtInServers(), unsigned jobs = defaultTransferJobs);

// Replaces the running program's file with the published one (update/self_update.h); once
// collected, replacedProgram names it, and the program should start it in its own place.
bool startSelfUpdate(const ServerList& servers = builtInServers());
std::optional<std::string> replacedProgram();

// Asks for the updater's digest on a detached thread and returns at once; the answer becomes
// the state when pollTask or takeUpdaterHashFetched collects it.
void startUpdaterHashCheck(const ServerList& servers = builtInServers());

bool isTaskRunning();
// Collects a finished task: false while it runs. Its result becomes the state (catalogue,
// differing files, failureReason, fileFailures) here, on the calling thread. A failure, or an
// exception the task threw, sets errorCode by the task's phase and failureReason to why.
bool pollTask();
double currentProgress();

bool hasCatalogue();
bool hasDifferences();
std::vector<std::string> differingPaths();

// The fetched updater digest, collected here if it has come: the flag is returned once per arrival.
bool takeUpdaterHashFetched();
std::string updaterHash();

// Back to the initial values, waiting for a running task first (tests and tools).
void resetUpdaterState();

}  // namespace update
