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

// Each clears errorCode and starts one task, and returns true; while a task runs they
// refuse, changing nothing, and return false (the window offers them only while none runs).
// Headless tools may name another server.
bool startFetch(const std::string& baseUrl = serverBaseUrl());  // also asks for the updater's digest again
// startFetch without the digest request. A newer signed release it accepts becomes the
// installation's newest (updater_release.json) unless recordRelease is false: a look that
// installs nothing (quarnmp-cli check) leaves the record alone.
bool startCatalogueFetch(const std::string& baseUrl, bool recordRelease = true);
bool startDiff();  // compares the first set; nothing starts while the catalogue is empty
// Installs the differing files, `jobs` at a time, and compares again.
bool startUpdateDiff(const std::string& baseUrl = serverBaseUrl(), unsigned jobs = defaultTransferJobs);

// Replaces the running program's file with the published one (update/self_update.h); once
// collected, replacedProgram names it, and the program should start it in its own place.
bool startSelfUpdate(const std::string& baseUrl = serverBaseUrl());
std::optional<std::string> replacedProgram();

// Asks for the updater's digest on a detached thread and returns at once.
void startUpdaterHashCheck(const std::string& baseUrl = serverBaseUrl());

bool isTaskRunning();
// Collects a finished task: false while it runs. Its result becomes the state (catalogue,
// differing files, failureReason, fileFailures) here, on the calling thread. A failure, or an
// exception the task threw, sets errorCode by the task's phase and failureReason to why.
bool pollTask();
double currentProgress();

bool hasCatalogue();
bool hasDifferences();
std::vector<std::string> differingPaths();

// The fetched updater digest: the flag is returned once per arrival.
bool takeUpdaterHashFetched();
std::string updaterHash();

// Back to the initial values, waiting for a running task first (tests and tools).
void resetUpdaterState();
