#include "update/updater_hash.h"

#include <exception>
#include <thread>

#include "http/request.h"
#include "update/download.h"
#include "update/server_address.h"
#include "update/updater_state.h"

namespace {

// Touches nothing but its own copy of the URL and the never-destroyed state, so it may
// outlive the window and the end of main.
void fetchUpdaterHashFrom(const std::string& url) {
  try {
    const http::Response response = http::Request(url).send("GET", {}, {}, serverTimeoutMs);
    if (response.status.code != 200) return;
    UpdaterState& state = updaterState();
    std::lock_guard lock(state.updaterHashMutex);
    state.updaterHashText = response.body;
    state.updaterHashFetched = true;
  } catch (const std::exception&) {
    // No digest, no verdict.
  }
}

std::string updaterHashUrl() { return serverBaseUrl() + "QuarnMpUpdater/"; }

}  // namespace

void fetchUpdaterHash() { fetchUpdaterHashFrom(updaterHashUrl()); }

void startUpdaterHashCheck() {
  updaterState();  // created before the thread can need it
  std::thread(fetchUpdaterHashFrom, updaterHashUrl()).detach();
}
