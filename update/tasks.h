#pragma once
// The background tasks and what the window asks about them. Everything here is called on
// the window's thread and never blocks beyond a short lock.
#include <string>
#include <vector>

#include "update/updater_state.h"

// Each clears errorCode and starts one task; the window offers them only while no task runs.
void startFetch();       // also asks for the updater's digest again
void startCatalogueFetch();  // startFetch without the digest request (headless tools)
void startDiff();        // compares the first set; nothing starts while the catalogue is empty
void startUpdateDiff();  // installs the differing files, then compares again

// The worker of startUpdateDiff: updateFiles, then diffFiles, each as a nested task
// polled every 5 ms; the installation is three quarters of the progress.
bool update_diff();

bool isTaskRunning();
// Collects a finished task: false while it runs. A false result, or an exception the task
// threw, sets errorCode by the task's phase; the exception's text goes to taskFailureText.
bool pollTask();
double currentProgress();

bool hasCatalogue();
bool hasDifferences();
std::vector<std::string> differingPaths();

// The fetched updater digest: the flag is returned once per arrival.
bool takeUpdaterHashFetched();
std::string updaterHash();
