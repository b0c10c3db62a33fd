#pragma once

// Starts the request for the current updater's digest on a detached thread.
void startUpdaterHashCheck();
