#pragma once
// One GET to the update server per call, body decompressed.
#include <string>

#include "update/inflate.h"

// Both return true and fill the output when the server answers 200 with a complete
// compressed body. They return false, leaving the output alone, for any other status, a
// time-out, a malformed response, an empty body or a stream that does not end. Other
// failures (connection, name resolution, corrupt data) pass through as exceptions.
bool downloadText(const std::string& path, std::string& text);
// The spaces of the URL are sent as "%20".
bool downloadBytes(const std::string& path, ByteSequence& bytes);

// The 5000 ms limit of every exchange with the update server.
constexpr long long serverTimeoutMs = 5000;
