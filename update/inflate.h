#pragma once
// Decompression of the server's documents: one zlib or gzip stream per body.
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

using ByteSequence = std::vector<char>;

// A body without an end of stream (cut off, or empty): not an error of the data, but a
// download that did not arrive whole.
class IncompleteStream : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Both throw std::runtime_error with zlib's message for corrupt data (raw deflate gives
// "incorrect header check"), and IncompleteStream when the stream does not end. Bytes
// after the end of the stream are ignored. Bodies must stay below 2 GiB.
std::string inflateToText(const char* data, std::size_t size);
ByteSequence inflateToBytes(const char* data, std::size_t size);
