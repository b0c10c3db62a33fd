#include "platform/digest.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <mutex>
#include <stdexcept>

namespace platform {

namespace {

// Without this, libcrypto tears itself down in an exit handler while a background task
// may still be hashing; the process ends anyway, so nothing needs releasing.
void initialiseOnce() {
  static std::once_flag once;
  std::call_once(once, [] { OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr); });
}

}  // namespace

struct Md5Stream::State {
  EVP_MD_CTX* context = nullptr;
};

Md5Stream::Md5Stream() : state(std::make_unique<State>()) {
  initialiseOnce();
  state->context = EVP_MD_CTX_new();
  if (state->context == nullptr || EVP_DigestInit_ex(state->context, EVP_md5(), nullptr) != 1) {
    EVP_MD_CTX_free(state->context);
    throw std::runtime_error("MD5 is not available");
  }
}

Md5Stream::~Md5Stream() { EVP_MD_CTX_free(state->context); }

void Md5Stream::add(std::string_view bytes) {
  if (EVP_DigestUpdate(state->context, bytes.data(), bytes.size()) != 1)
    throw std::runtime_error("MD5 update failed");
}

Md5Bytes Md5Stream::finish() {
  Md5Bytes digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(state->context, digest.data(), &length) != 1 || length != digest.size())
    throw std::runtime_error("MD5 final failed");
  return digest;
}

}  // namespace platform
