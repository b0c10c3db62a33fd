#include "update/installation_lock.h"

#include <map>
#include <memory>
#include <mutex>

#include "platform/files.h"

namespace update {

namespace {

struct Held {
  std::unique_ptr<platform::FileLock> lock;
  int holders = 0;
};

std::mutex heldMutex;

// By root; never destroyed, so a detached thread may still release one as the process ends.
std::map<std::string, Held>& heldLocks() {
  static auto* locks = new std::map<std::string, Held>;
  return *locks;
}

}  // namespace

InstallationLock::InstallationLock(std::string installationRoot) : root(std::move(installationRoot)) {
  std::lock_guard guard(heldMutex);
  Held& held = heldLocks()[root];
  if (held.holders == 0) {
    auto lock = std::make_unique<platform::FileLock>(root + installationLockName);
    if (lock->heldElsewhere()) refused = installationBusyReason;
    else if (!lock->held())
      refused = std::string("cannot lock ") + installationLockName + ": " + *lock->taken().failure +
                "; nothing was changed";
    if (!lock->held()) return;
    held.lock = std::move(lock);
  }
  ++held.holders;
  holding = true;
}

InstallationLock::~InstallationLock() {
  if (!holding) return;
  std::lock_guard guard(heldMutex);
  Held& held = heldLocks()[root];
  if (--held.holders == 0) held.lock.reset();
}

bool InstallationLock::held() const { return holding; }

std::string InstallationLock::refusal() const { return refused; }

}  // namespace update
