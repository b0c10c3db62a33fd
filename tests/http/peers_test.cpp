// Exchanges with real servers on loopback: nginx (HTTP/1.1, length and chunked framing,
// connection kept open) and Python's http.server (HTTP/1.0, connection closed).
#include <algorithm>
#include <gtest/gtest.h>

#include "http/request.h"
#include "tests/support/nginx_fixture.h"
#include "tests/support/server_process.h"
#include "tests/support/temp_folder.h"

using testing_support::TempFolder;

namespace {

// Varied bytes, all 256 values, no run that a framing bug could hide in.
std::string sampleBytes(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 16);
  }
  return bytes;
}

bool hasField(const http::Response& response, const std::string& name) {
  return std::any_of(response.headerFields.begin(), response.headerFields.end(),
                     [&](const http::HeaderField& field) { return field.name == name; });
}

}  // namespace

TEST(HttpPeers, NginxServesFilesByLengthAndChunked) {
  TempFolder site;
  const std::string file = sampleBytes(3 << 20);
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + " of text\n";
  testing_support::writeFile(site / "data.bin", file);
  testing_support::writeFile(site / "filtered" / "text.txt", text);
  // Rewriting the body drops its length, so nginx sends it chunked.
  testing_support::NginxServer nginx({site.path(),
                                      "location /filtered/ { sub_filter 'text' 'TEXT'; sub_filter_once off;"
                                      " sub_filter_types *; }",
                                      ""});

  const http::Response byLength = http::Request(nginx.url("/data.bin")).send("GET", "", {}, 10000);
  EXPECT_EQ(byLength.status.code, 200);
  EXPECT_TRUE(hasField(byLength, "content-length"));
  EXPECT_TRUE(byLength.body == file);

  const http::Response chunked = http::Request(nginx.url("/filtered/text.txt")).send("GET", "", {}, 10000);
  EXPECT_TRUE(hasField(chunked, "transfer-encoding"));
  std::string expected = text;
  for (auto at = expected.find("text"); at != std::string::npos; at = expected.find("text", at)) {
    expected.replace(at, 4, "TEXT");
  }
  EXPECT_TRUE(chunked.body == expected);

  EXPECT_EQ(http::Request(nginx.url("/missing")).send("GET", "", {}, 10000).status.code, 404);
}

TEST(HttpPeers, PythonHttpServerClosesAnHttp10Response) {
  TempFolder site;
  const std::string file = sampleBytes(200000);
  testing_support::writeFile(site / "served" / "file.bin", file);
  const std::uint16_t port = testing_support::freeLoopbackPort();
  testing_support::ServerProcess python(
      "python3", {"-m", "http.server", "--bind", "127.0.0.1", "--directory", (site / "served").string(),
                  std::to_string(port)},
      site / "python.log");
  ASSERT_TRUE(testing_support::waitForLoopbackPort(port, std::chrono::seconds(20)))
      << testing_support::readFile(site / "python.log");

  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/file.bin";
  const http::Response response = http::Request(url).send("GET", "", {}, 10000);
  EXPECT_EQ(response.status.version.major, 1);
  EXPECT_EQ(response.status.version.minor, 0);
  EXPECT_EQ(response.status.code, 200);
  EXPECT_TRUE(response.body == file);
}
