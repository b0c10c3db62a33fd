#include "platform/digest.h"

#include <windows.h>
#include <bcrypt.h>

#include <stdexcept>

namespace platform {

namespace {

bool succeeded(NTSTATUS status) { return status >= 0; }

// One provider for the whole process, opened on first use and never closed: background
// tasks may still hash while the process ends.
BCRYPT_ALG_HANDLE md5Provider() {
  static BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE opened = nullptr;
    if (!succeeded(BCryptOpenAlgorithmProvider(&opened, BCRYPT_MD5_ALGORITHM, nullptr, 0)))
      throw std::runtime_error("MD5 is not available");
    return opened;
  }();
  return provider;
}

}  // namespace

struct Md5Stream::State {
  BCRYPT_HASH_HANDLE hash = nullptr;
};

Md5Stream::Md5Stream() : state(std::make_unique<State>()) {
  if (!succeeded(BCryptCreateHash(md5Provider(), &state->hash, nullptr, 0, nullptr, 0, 0)))
    throw std::runtime_error("MD5 is not available");
}

Md5Stream::~Md5Stream() {
  if (state->hash != nullptr) BCryptDestroyHash(state->hash);
}

void Md5Stream::add(std::string_view bytes) {
  // BCryptHashData takes a 32-bit count.
  while (!bytes.empty()) {
    const ULONG piece = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<ULONG>(bytes.size());
    auto* data = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data()));
    if (!succeeded(BCryptHashData(state->hash, data, piece, 0)))
      throw std::runtime_error("MD5 update failed");
    bytes.remove_prefix(piece);
  }
}

Md5Bytes Md5Stream::finish() {
  Md5Bytes digest{};
  if (!succeeded(BCryptFinishHash(state->hash, digest.data(), static_cast<ULONG>(digest.size()), 0)))
    throw std::runtime_error("MD5 final failed");
  return digest;
}

}  // namespace platform
