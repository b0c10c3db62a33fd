#include "tools/publish_case_folding.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace {

// first, first + stride, ... up to last fold to themselves + delta.
struct FoldRun {
  char32_t first;
  char32_t last;
  std::int32_t delta;
  std::uint8_t stride;
};

constexpr FoldRun runs[] = {
#include "unicode_simple_case_folding.inc"
};

constexpr bool ordered() {
  for (std::size_t i = 1; i < std::size(runs); ++i)
    if (runs[i].first <= runs[i - 1].last) return false;
  return true;
}
static_assert(ordered(), "the folding runs must be ordered and disjoint");

}  // namespace

char32_t foldCase(char32_t codePoint) {
  const auto run = std::upper_bound(std::begin(runs), std::end(runs), codePoint,
                                    [](char32_t c, const FoldRun& r) { return c < r.first; });
  if (run == std::begin(runs)) return codePoint;
  const FoldRun& candidate = *std::prev(run);
  if (codePoint > candidate.last || (codePoint - candidate.first) % candidate.stride != 0) return codePoint;
  return static_cast<char32_t>(static_cast<std::int32_t>(codePoint) + candidate.delta);
}
