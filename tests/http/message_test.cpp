// URL parsing, request bytes, response head parsing and the error texts: the pure parts
// of the client, checked against hand-written inputs.
#include <gtest/gtest.h>

#include "http/request.h"
#include "http/request_composition.h"
#include "http/response_parsing.h"

namespace {

template <typename Action>
std::string errorOf(Action action) {
  try {
    action();
    return "none";
  } catch (const std::exception& e) {
    return e.what();
  }
}

std::string components(const http::Url& u) {
  return u.scheme + "|" + u.user + "|" + u.password + "|" + u.host + "|" + u.port + "|" + u.path + "|" + u.query +
         "|" + u.fragment;
}

http::Status status(const std::string& line) {
  return http::detail::parseStatusLine(line.data(), line.data() + line.size()).value;
}

http::HeaderField field(const std::string& line) {
  auto parsed = http::detail::parseHeaderField(line.data(), line.data() + line.size());
  EXPECT_EQ(parsed.next, line.data() + line.size());
  return parsed.value;
}

}  // namespace

TEST(HttpUrl, CutsComponentsWithoutDecoding) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://server", "http|||server||/||"},
      {"http://server?x", "http|||server||/|x|"},
      {"http://server/a?", "http|||server||/a||"},
      {"Http://u:p@server:8080/a/b?q=1#f", "Http|u|p|server|8080|/a/b|q=1|f"},
      {"http://user@server/", "http|user||server||/||"},
      {"http://server/a#b?c", "http|||server||/a||b?c"},
      {"svn+ssh.1://:@:x%20/%41", "svn+ssh.1||||x%20|/%41||"},
      {"http://[::1]:80/", "http|||[|:1]:80|/||"},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(components(http::parseUrl(text)), expected) << text;
  }
  for (const char* invalid : {"server/x", "1http://server/", "http:/server/", "http:server", "", "http", "http:"}) {
    EXPECT_EQ(errorOf([&] { http::parseUrl(invalid); }), "Invalid scheme") << invalid;
  }
}

TEST(HttpRequestBytes, ComposesTheExactRequest) {
  auto url = http::parseUrl("http://server:45004/dir/file.txt?x=1#top");
  EXPECT_EQ(http::composeRequest(url, "GET", "", {}),
            "GET /dir/file.txt?x=1 HTTP/1.1\r\nHost: server\r\nContent-Length: 0\r\n\r\n");

  const http::HeaderFields callers{{"Content-Length", "9"}, {"X-Empty", ""}, {"X-High", "\x80\xff"}};
  url = http::parseUrl("http://user@server/");
  EXPECT_EQ(http::composeRequest(url, "POST", "hello", callers),
            "POST / HTTP/1.1\r\nContent-Length: 9\r\nX-Empty: \r\nX-High: \x80\xff\r\nHost: server\r\n"
            "Content-Length: 5\r\nAuthorization: Basic dXNlcjo=\r\n\r\nhello");
  EXPECT_EQ(callers.size(), 3u);  // the caller's list is not extended

  url.user.clear();
  url.password = "pw";
  EXPECT_NE(http::composeRequest(url, "GET", "", {}).find("Authorization: Basic OnB3\r\n"), std::string::npos);
}

TEST(HttpRequestBytes, RefusesWhatCannotBeSentSafely) {
  const auto url = http::parseUrl("http://server/");
  auto compose = [&](http::HeaderFields fields) { return errorOf([&] { http::composeRequest(url, "GET", "", fields); }); };
  EXPECT_EQ(compose({{"X Y", "v"}}), "Invalid header field name");
  EXPECT_EQ(compose({{":", "v"}}), "Invalid header field name");
  EXPECT_EQ(compose({{"", "v"}}), "Invalid header field name");
  EXPECT_EQ(compose({{"X", "a\nb"}}), "Invalid header field value");
  EXPECT_EQ(compose({{"X", std::string("a\0b", 3)}}), "Invalid header field value");
  EXPECT_EQ(compose({{"X", "\x7f"}}), "Invalid header field value");

  auto withHost = url;
  withHost.host = "a\rb";
  EXPECT_EQ(errorOf([&] { http::composeRequest(withHost, "GET", "", {}); }), "Invalid header field value");
  for (const char* target : {"/a\r\nX: 1", "/a b", "/a\tb", "/\x7f"}) {
    auto bad = url;
    bad.path = target;
    EXPECT_EQ(errorOf([&] { http::composeRequest(bad, "GET", "", {}); }), "Invalid request target") << target;
    bad = url;
    bad.query = target;
    EXPECT_EQ(errorOf([&] { http::composeRequest(bad, "GET", "", {}); }), "Invalid request target") << target;
  }
  EXPECT_EQ(errorOf([] { http::composeRequest(http::parseUrl("HTTP://server/"), "GET", "", {}); }),
            "Only HTTP scheme is supported");
}

TEST(HttpRequestBytes, Base64FollowsTheStandardAlphabet) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xfb\xff\xbf", "+/+/"}};
  for (const auto& [bytes, text] : vectors) EXPECT_EQ(http::encodeBase64(bytes), text);
}

TEST(HttpResponseHead, ParsesStatusLines) {
  const http::Status ok = status("HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(ok.version.major * 10 + ok.version.minor, 11);
  EXPECT_EQ(ok.code, 200);
  EXPECT_EQ(ok.reason, "OK");
  EXPECT_EQ(status("HTTP/1.1 200 \r\n").reason, "");
  EXPECT_EQ(status("HTTP/2.0 999 A\tb \x80\r\n").reason, "A\tb \x80");
  EXPECT_EQ(status("HTTP/0.9 099 Old\r\n").code, 99);

  const std::pair<const char*, const char*> errors[] = {
      {"HTTP/1.1 200\r\n", "Invalid status line"},    {"HTTP/1.1 20 OK\r\n", "Invalid status code"},
      {"HTTP/1.1 2000 OK\r\n", "Invalid status code"}, {"HTTP/11 200 OK\r\n", "Invalid HTTP version"},
      {"HTTP/x.1 200 OK\r\n", "Invalid digit"},        {"HTTP/1.x 200 OK\r\n", "Invalid digit"},
      {"http/1.1 200 OK\r\n", "Invalid HTTP version"}, {"HTTP/1", "Invalid HTTP version"},
      {"HTTP/1.1  200 OK\r\n", "Invalid status code"}, {"HTTP/1.1 200 OK\n", "Invalid status line"},
      {"HTTP/1.1 200 O\x01K\r\n", "Invalid status line"}, {"", "Invalid HTTP version"},
  };
  for (const auto& error : errors) EXPECT_EQ(errorOf([&] { status(error.first); }), error.second) << error.first;
}

TEST(HttpResponseHead, ParsesHeaderFields) {
  const http::HeaderField lowered = field("Content-TYPE:  \t text/plain \t\r\n");
  EXPECT_EQ(lowered.name, "content-type");
  EXPECT_EQ(lowered.value, "text/plain");
  EXPECT_EQ(field("X:a\r\n b\r\n").value, "a b");
  EXPECT_EQ(field("X: a  \r\n\t  b c \r\n").value, "a   b c");
  EXPECT_EQ(field("X:\r\n").value, "");

  EXPECT_EQ(errorOf([] { field("X : a\r\n"); }), "Invalid header");
  EXPECT_EQ(errorOf([] { field(": a\r\n"); }), "Invalid token");
  EXPECT_EQ(errorOf([] { field("X: a\n"); }), "Invalid header");
  EXPECT_EQ(errorOf([] { field("X: a\x01\r\n"); }), "Invalid header");
}

TEST(HttpErrors, WinsockCategoryAndExceptionTypes) {
  const auto& category = http::detail::winsock::errorCategory();
  EXPECT_STREQ(category.name(), "Windows Sockets API");
  const std::pair<int, const char*> texts[] = {
      {10061, "Connection refused"}, {11001, "Host not found"}, {10102, "No more results"},
      {10110, "No more results"}, {6, "Specified event object handle is invalid"},
      {11031, "Reserved policy QoS element type"}, {12345, "Unknown error (12345)"}, {-1, "Unknown error (-1)"},
      {0, "Unknown error (0)"}, {10072, "Unknown error (10072)"}};
  for (const auto& [code, text] : texts) EXPECT_EQ(category.message(code), text);
  EXPECT_EQ(std::system_error(10060, category, "Failed to connect").what(),
            std::string("Failed to connect: Connection timed out"));

  EXPECT_THROW(throw http::RequestError("x"), std::logic_error);
  EXPECT_THROW(throw http::ResponseError("x"), std::runtime_error);
  EXPECT_EQ(errorOf([] { http::Request("nonsense"); }), "Invalid scheme");
}
