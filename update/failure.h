#pragma once
// The one way update/ says "failed, because": the reason in the words the user reads, the
// system's own where the system gave one ("No space left on device").
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace update {

struct Failure {
  std::string reason;
};

// A value, or the failure that left none.
template <typename T>
class Result {
 public:
  Result(T value) : held(std::move(value)) {}
  Result(Failure failure) : held(std::move(failure)) {}

  bool ok() const { return held.index() == 0; }
  const T& value() const { return std::get<0>(held); }
  T& value() { return std::get<0>(held); }
  const Failure& failure() const { return std::get<1>(held); }

 private:
  std::variant<T, Failure> held;
};

}  // namespace update
