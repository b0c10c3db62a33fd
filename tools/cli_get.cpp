// quarnmp-cli get: one HTTP exchange, reported line by line for people and scripts.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "http/request.h"
#include "platform/files.h"
#include "tools/cli_commands.h"
#include "update/install_files.h"

namespace {

struct GetOptions {
  std::string url;
  std::int64_t timeoutMs = 5000;
  std::string method = "GET";
  http::HeaderFields headerFields;
  std::optional<std::string> bodyFile;
  std::optional<std::string> outFile;
};

std::optional<std::int64_t> parseInteger(const std::string& text) {
  try {
    std::size_t used = 0;
    const long long value = std::stoll(text, &used, 10);
    if (used != text.size()) return std::nullopt;
    return value;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// "Name: value", white space after the colon skipped. The client validates both parts.
http::HeaderField parseHeaderArgument(const std::string& text) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return {text, ""};
  const auto valueStart = text.find_first_not_of(" \t", colon + 1);
  return {text.substr(0, colon), valueStart == std::string::npos ? "" : text.substr(valueStart)};
}

std::optional<GetOptions> parseOptions(const std::vector<std::string>& args) {
  GetOptions options;
  bool haveUrl = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--timeout" && hasValue) {
      const auto timeout = parseInteger(args[++i]);
      if (!timeout) return std::nullopt;
      options.timeoutMs = *timeout;
    } else if (arg == "--method" && hasValue) {
      options.method = args[++i];
    } else if (arg == "--header" && hasValue) {
      options.headerFields.push_back(parseHeaderArgument(args[++i]));
    } else if (arg == "--body-file" && hasValue) {
      options.bodyFile = args[++i];
    } else if (arg == "--out" && hasValue) {
      options.outFile = args[++i];
    } else if (!haveUrl && arg.rfind("--", 0) != 0) {
      options.url = arg;
      haveUrl = true;
    } else {
      return std::nullopt;
    }
  }
  if (!haveUrl) return std::nullopt;
  return options;
}

void printResponse(const http::Response& response, std::uint64_t bodyBytes) {
  const http::Status& status = response.status;
  std::printf("HTTP/%u.%u %03u %s\n", status.version.major, status.version.minor, status.code,
              status.reason.c_str());
  for (const http::HeaderField& field : response.headerFields) {
    std::printf("%s: %s\n", field.name.c_str(), field.value.c_str());
  }
  std::printf("body-bytes: %llu\n", static_cast<unsigned long long>(bodyBytes));
}

int fail(const std::string& kind, const char* description) {
  std::fflush(stdout);
  std::fprintf(stderr, "error %s: %s\n", kind.c_str(), description);
  return 2;
}

// The body streams to the --out file (through a new file moved over it at the end) or is
// only counted, so a body of any size costs no memory.
int exchange(const GetOptions& options) {
  std::string body;
  if (options.bodyFile) {
    platform::FileContent content = platform::readWholeFile(*options.bodyFile);
    if (!content) throw std::runtime_error("Cannot read " + *options.bodyFile + ": " + content.failure);
    body = std::move(*content.content);
  }
  std::optional<platform::NewFile> out;
  if (options.outFile) {
    const std::string temporary = update::temporaryInstallPath(*options.outFile);
    platform::removeFile(temporary);
    out.emplace(temporary);
    if (!out->isOpen()) throw std::runtime_error("Cannot write " + *options.outFile);
  }
  std::uint64_t bodyBytes = 0;
  const http::BodySink sink = [&](const http::Response&, std::string_view bytes) {
    bodyBytes += bytes.size();
    if (out && !out->write(bytes)) throw std::runtime_error("Cannot write " + *options.outFile);
    return true;
  };
  // The URL is sent as given: its query stays a query.
  const http::Request request(options.url);
  const http::Response response = request.send(options.method, body, options.headerFields, options.timeoutMs, sink);
  if (out && !out->replace(*options.outFile)) throw std::runtime_error("Cannot write " + *options.outFile);
  printResponse(response, bodyBytes);
  return 0;
}

}  // namespace

int runGetCommand(const std::vector<std::string>& args) {
  const auto options = parseOptions(args);
  if (!options) {
    std::fprintf(stderr,
                 "usage: quarnmp-cli get URL [--timeout MS] [--method M] [--header \"Name: value\"]... "
                 "[--body-file F] [--out FILE]\n");
    return 1;
  }
  try {
    return exchange(*options);
  } catch (const http::RequestError& error) {
    return fail("RequestError", error.what());
  } catch (const http::ResponseError& error) {
    return fail("ResponseError", error.what());
  } catch (const std::system_error& error) {
    return fail("system_error(" + std::to_string(error.code().value()) + ")", error.what());
  } catch (const std::exception& error) {
    // std::runtime_error, and allocation failures for an enormous body.
    return fail("runtime_error", error.what());
  }
}
