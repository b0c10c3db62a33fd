#pragma once
// Where Windows keeps resources in the executable's resource section, the Linux build links
// a generated table into the executable (app/resources/embed_resources.cmake). An executable
// without the table (a test, a tool) simply has no resources.
#include <cstddef>

struct QuarnEmbeddedResource {
  const char* name;  // nullptr for a resource known by identifier only
  int id;            // used when name is nullptr
  const unsigned char* bytes;
  std::size_t size;
};

extern "C" {
extern const QuarnEmbeddedResource quarnEmbeddedResources[] __attribute__((weak));
extern const std::size_t quarnEmbeddedResourceCount __attribute__((weak));
}
