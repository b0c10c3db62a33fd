#pragma once
// The background tasks and what the window asks about them. Everything here is called on
// the window's thread and never blocks beyond a short lock. This file alone writes the
// process-wide UpdaterState.
#include <string>
#include <vector>

#include "update/server_address.h"
#include "update/transfers.h"
#include "update/updater_state.h"

// Each clears errorCode and starts one task; the window offers them only while no task
// runs. Headless tools may name another server.
void startFetch(const std::string& baseUrl = serverBaseUrl());  // also asks for the updater's digest again
// startFetch without the digest request. A newer signed release it accepts becomes the
// installation's newest (updater_release.json) unless recordRelease is false: a look that
// installs nothing (quarnmp-cli check) leaves the record alone.
void startCatalogueFetch(const std::string& baseUrl, bool recordRelease = true);
void startDiff();  // compares the first set; nothing starts while the catalogue is empty
// Installs the differing files, `jobs` at a time, and compares again.
void startUpdateDiff(const std::string& baseUrl = serverBaseUrl(), unsigned jobs = defaultTransferJobs);

// Asks for the updater's digest on a detached thread and returns at once.
void startUpdaterHashCheck(const std::string& baseUrl = serverBaseUrl());

bool isTaskRunning();
// Collects a finished task: false while it runs. A false result, or an exception the task
// threw, sets errorCode by the task's phase and failureReason to why.
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
