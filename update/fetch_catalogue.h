#pragma once

// The worker of startFetch: downloads the catalogue ("json") and each set's file list
// into updaterState(). False when a document cannot be downloaded (the sets completed
// so far stay); malformed documents and paths outside the installation throw.
bool fetchCatalogue();
