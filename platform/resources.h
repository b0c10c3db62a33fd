#pragma once
// RCDATA resources of the running executable (FindResourceW, LoadResource, LockResource,
// SizeofResource, FreeResource).
#include <string>
#include <vector>

namespace platform {

// A copy of the resource's bytes, owned by the caller; empty when the executable carries no
// resource of that name or identifier.
std::vector<unsigned char> loadRcdataResource(const std::string& name);
std::vector<unsigned char> loadRcdataResource(int id);

}  // namespace platform
