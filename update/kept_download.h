#pragma once
// The compressed bytes of a large download, copied beside its target as they arrive, so that a
// try cut short (in this run or the next) asks only for the rest. The kept file holds the
// server's validator (a strong ETag, else Last-Modified) on its first line, then the bytes
// as they came.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "http/response.h"
#include "platform/files.h"

namespace update {

// Where the bytes of an interrupted download of `target` are kept.
std::string keptDownloadPath(const std::string& target);

class KeptDownload {
 public:
  // Bodies under `keepFrom` bytes are not copied.
  KeptDownload(const std::string& target, std::uint64_t keepFrom);

  // Hands the bytes kept by an earlier try to `pieces`, copying them on: their number, 0 when
  // nothing usable was kept. What `pieces` throws passes through.
  std::uint64_t resume(const std::function<void(std::string_view)>& pieces);
  const std::string& validator() const { return validatorText; }
  // Whether a part in answer continues the kept bytes: it names no validator or the kept one
  // (a mirror's copy may carry another), so If-Range alone need not be trusted.
  bool continues(const http::Response& head) const;
  // A whole body begins: copied when the server gave a validator and its size is large enough.
  void begin(const http::Response& head);
  void add(std::string_view bytes);
  // The try was cut short: what came is kept when it is large enough.
  void keep();
  // The file is done (or failed for good): nothing stays.
  void discard();

 private:
  std::string keptPath;
  std::string copyPath;
  std::uint64_t keepFrom;
  std::optional<platform::NewFile> copy;
  std::string validatorText;
  std::uint64_t copied = 0;
};

}  // namespace update
