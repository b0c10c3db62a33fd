#pragma once
// One updater per installation. Two updaters in one folder would tear files: each takes the
// other's temporary download for a leftover, and one renames the other's half-written file
// over its target. Whatever installs holds this lock for its whole run.
#include <stdexcept>
#include <string>

namespace update {

// The lock file in the installation root; it stays there, empty, between runs.
inline constexpr const char* installationLockName = "updater.lock";

// Why an update was refused.
inline constexpr const char* installationBusyReason =
    "another updater is working on this installation (updater.lock is held); nothing was changed";

// An installation that cannot be worked on now: another updater holds the lock, or the lock
// file cannot be made or opened (a read-only folder).
struct InstallationBusy : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Holds the lock of the installation below root ("" for the working directory) while alive,
// if no other process holds it: the operating system's lock, released when the process ends,
// even by a kill. Holds within this process nest, so the command-line tool can hold it for
// its whole run and the update task inside it again.
class InstallationLock {
 public:
  explicit InstallationLock(std::string root);
  ~InstallationLock();
  InstallationLock(const InstallationLock&) = delete;
  InstallationLock& operator=(const InstallationLock&) = delete;

  bool held() const;
  // Why it is not held: installationBusyReason, or the system's reason the lock file could not
  // be made or locked.
  std::string refusal() const;

 private:
  std::string root;
  bool holding = false;
  std::string refused;
};

}  // namespace update
