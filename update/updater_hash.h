#pragma once
// The digest of the current updater program, as the server publishes it.

// One request for "QuarnMpUpdater/"; a 200 answer's body becomes the fetched digest
// (updaterHash / takeUpdaterHashFetched). Failures are dropped silently.
void fetchUpdaterHash();

// Runs fetchUpdaterHash on a new detached thread and returns at once.
void startUpdaterHashCheck();
