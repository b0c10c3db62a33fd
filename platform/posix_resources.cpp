#include "platform/resources.h"

#include "platform/posix_embedded_resources.h"

namespace platform {

namespace {

template <typename Matches>
std::vector<unsigned char> copyFirst(Matches matches) {
  if (&quarnEmbeddedResourceCount == nullptr || quarnEmbeddedResources == nullptr) return {};
  for (std::size_t i = 0; i < quarnEmbeddedResourceCount; ++i) {
    const QuarnEmbeddedResource& resource = quarnEmbeddedResources[i];
    if (matches(resource)) return std::vector<unsigned char>(resource.bytes, resource.bytes + resource.size);
  }
  return {};
}

}  // namespace

std::vector<unsigned char> loadRcdataResource(const std::string& name) {
  return copyFirst([&](const QuarnEmbeddedResource& r) { return r.name != nullptr && name == r.name; });
}

std::vector<unsigned char> loadRcdataResource(int id) {
  return copyFirst([&](const QuarnEmbeddedResource& r) { return r.name == nullptr && r.id == id; });
}

}  // namespace platform
