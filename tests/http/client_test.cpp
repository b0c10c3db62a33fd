// The HTTP client's pure parts, then whole exchanges over loopback with a scripted server and nginx.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include <unistd.h>

#include "formats/base64.h"
#include "http/body_framing.h"
#include "http/connection.h"
#include "http/request.h"
#include "http/request_composition.h"
#include "http/response_parsing.h"
#include "tests/support/nginx_fixture.h"
#include "tests/support/scripted_server.h"

using namespace std::literals;
using namespace testing_support;
using testing::HasSubstr;

namespace {

// What `action` returns, or "Kind: what" of its exception ("system_error(other N)" outside Winsock's category).
template <typename Action>
std::string outcome(Action action) {
  try {
    return action();
  } catch (const http::RequestError& e) {
    return std::string("RequestError: ") + e.what();
  } catch (const http::ResponseError& e) {
    return std::string("ResponseError: ") + e.what();
  } catch (const std::system_error& e) {
    const bool winsock = &e.code().category() == &http::detail::winsock::errorCategory();
    return (winsock ? "system_error(" : "system_error(other ") + std::to_string(e.code().value()) + "): " + e.what();
  }
}

// "major.minor code reason|name=value|...|body"
std::string describe(const http::Response& response) {
  const http::Status& status = response.status;
  std::string text = std::to_string(status.version.major) + "." + std::to_string(status.version.minor) + " " +
                     std::to_string(status.code) + " " + status.reason;
  for (const auto& field : response.headerFields) text += "|" + field.name + "=" + field.value;
  return text + "|" + response.body;
}

std::string fetch(const std::string& url, std::int64_t timeoutMs = 5000, std::string_view method = "GET",
                  std::string_view body = "", const http::HeaderFields& fields = {}) {
  return outcome([&] { return describe(http::Request(url).send(method, body, fields, timeoutMs)); });
}

// Reads the request, sends `response` in pieces, `gap` before each, then holds: only framing or a time-out ends it.
ConnectionScript paced(std::string response, std::chrono::milliseconds gap = 0ms,
                        std::size_t pieceSize = std::string::npos) {
  return [=](ScriptedConnection& connection) {
    connection.readRequest();
    for (std::size_t at = 0; at < response.size(); at += pieceSize) {
      connection.pause(gap);
      connection.send(std::string_view(response).substr(at, pieceSize));
    }
    connection.hold();
  };
}

// Reads a request and sends each answer in turn ("" closes after reading), then closes or, with `holdAfter`, holds.
ConnectionScript serve(std::vector<std::string> answers, bool holdAfter = false) {
  return [=](ScriptedConnection& connection) {
    for (const std::string& answer : answers) {
      connection.readRequest();
      if (answer.empty()) return;
      connection.send(answer);
    }
    if (holdAfter) connection.hold();
  };
}

}  // namespace

TEST(HttpUrl, CutsComponentsWithoutDecoding) {
  auto components = [](const std::string& text) {
    return outcome([&] {
      const http::Url u = http::parseUrl(text);
      return u.scheme + "|" + u.user + "|" + u.password + "|" + u.host + "|" + u.port + "|" + u.path + "|" +
             u.query + "|" + u.fragment;
    });
  };
  const std::pair<std::string, std::string> cases[] = {
      {"http://server", "http|||server||/||"}, {"http://server?x", "http|||server||/|x|"},
      {"http://server/a?", "http|||server||/a||"}, {"http://user@server/", "http|user||server||/||"},
      {"Http://u:p@server:8080/a/b?q=1#f", "Http|u|p|server|8080|/a/b|q=1|f"},
      {"http://server/a#b?c", "http|||server||/a||b?c"}, {"svn+ssh.1://:@:x%20/%41", "svn+ssh.1||||x%20|/%41||"},
      {"http://[::1]:80/", "http|||[|:1]:80|/||"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(components(text), expected) << text;
  for (const std::string invalid : {"server/x", "1http://server/", "http:/server/", "http:server", "", "http:"})
    EXPECT_EQ(components(invalid), "RequestError: Invalid scheme") << invalid;
}

TEST(HttpRequestBytes, CallerFieldsComeFirst) {
  EXPECT_EQ(http::composeRequest(http::parseUrl("http://user@server/"), "POST", "hello",
                                 {{"Content-Length", "9"}, {"X-Empty", ""}, {"X-High", "\x80\xff"}}),
            "POST / HTTP/1.1\r\nContent-Length: 9\r\nX-Empty: \r\nX-High: \x80\xff\r\nHost: server\r\n"
            "Content-Length: 5\r\nAuthorization: Basic dXNlcjo=\r\n\r\nhello");
  EXPECT_THAT(http::composeRequest(http::parseUrl("http://:pw@server/"), "GET", "", {}), HasSubstr("Basic OnB3\r\n"));
  const std::pair<std::string, std::string> base64[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xfb\xff\xbf", "+/+/"}};
  for (const auto& [bytes, text] : base64) {
    std::string decoded(bytes.size(), '\0');
    EXPECT_EQ(formats::encodeBase64(bytes), text);
    EXPECT_TRUE(formats::decodeBase64(text, reinterpret_cast<std::uint8_t*>(decoded.data()), bytes.size())) << text;
    EXPECT_EQ(decoded, bytes) << text;
  }
  std::uint8_t byte[2];
  for (const char* refused : {"Zh==", "Zg=", "Zg==Zg==", "Zm8", "Z*==", "Zm9v"})  // the last one for 2 bytes
    EXPECT_FALSE(formats::decodeBase64(refused, byte, std::string_view(refused) == "Zm9v" ? 2 : 1)) << refused;
}

TEST(HttpResponseHead, ParsesStatusLinesAndHeaderFields) {
  auto status = [](const std::string& line) {
    return outcome([&] {
      const auto parsed = http::detail::parseStatusLine(line.data(), line.data() + line.size());
      return describe({parsed.value, {}, ""});
    });
  };
  const std::pair<std::string, std::string> statusLines[] = {
      {"HTTP/1.1 200 OK\r\n", "1.1 200 OK|"}, {"HTTP/1.1 200 \r\n", "1.1 200 |"},
      {"HTTP/2.0 999 A\tb \x80\r\n", "2.0 999 A\tb \x80|"}, {"HTTP/0.9 099 Old\r\n", "0.9 99 Old|"},
      {"HTTP/1.1 200\r\n", "Invalid status line"}, {"HTTP/1.1 200 OK\n", "Invalid status line"},
      {"HTTP/1.1 200 O\x01K\r\n", "Invalid status line"}, {"HTTP/1.1 20 OK\r\n", "Invalid status code"},
      {"HTTP/1.1 2000 OK\r\n", "Invalid status code"}, {"HTTP/1.1  200 OK\r\n", "Invalid status code"},
      {"HTTP/11 200 OK\r\n", "Invalid HTTP version"}, {"http/1.1 200 OK\r\n", "Invalid HTTP version"},
      {"HTTP/1", "Invalid HTTP version"}, {"", "Invalid HTTP version"},
      {"HTTP/x.1 200 OK\r\n", "Invalid digit"}, {"HTTP/1.x 200 OK\r\n", "Invalid digit"},
  };
  for (const auto& [line, expected] : statusLines)
    EXPECT_EQ(status(line), expected.find("Invalid") == 0 ? "ResponseError: " + expected : expected) << line;
  auto field = [](const std::string& line) {
    return outcome([&] {
      const auto parsed = http::detail::parseHeaderField(line.data(), line.data() + line.size());
      return parsed.value.name + "=" + parsed.value.value + (parsed.next == line.data() + line.size() ? "" : "...");
    });
  };
  const std::pair<std::string, std::string> fields[] = {
      {"Content-TYPE:  \t text/plain \t\r\n", "content-type=text/plain"}, {"X:a\r\n b\r\n", "x=a b"},
      {"X: a  \r\n\t  b c \r\n", "x=a   b c"}, {"X:\r\n", "x="}, {"X : a\r\n", "Invalid header"},
      {"X: a\n", "Invalid header"}, {"X: a\x01\r\n", "Invalid header"}, {": a\r\n", "Invalid token"},
  };
  for (const auto& [line, expected] : fields)
    EXPECT_EQ(field(line), expected.find("Invalid") == 0 ? "ResponseError: " + expected : expected) << line;
}

TEST(HttpExchange, FramingEndsTheBody) {
  const std::string head = "HTTP/1.1 200 OK\r\n", chunked = head + "Transfer-Encoding: chunked\r\n\r\n";
  const std::string timedOut = "ResponseError: Request timed out", closed = "ResponseError: Connection closed ";
  const struct {
    ConnectionScript script;
    std::string expected;
    std::int64_t timeoutMs = 5000;
    std::string_view method = "GET";
  } cases[] = {
      // The peer closing ends only a body framed by the close.
      {respondWith("HTTP/1.0 200 OK\r\n\r\nuntil the end"), "1.0 200 OK|until the end"},
      {respondWith(""), closed + "without a response"},
      {respondWith(head + "Content-Length: 2\r\n"), closed + "before the end of the response head"},
      {respondWith(head + "Content-Length: 10\r\n\r\nshort"), closed + "after 5 of 10 body bytes"},
      {respondWith(chunked + "3\r\nabc\r\n"), closed + "before the last chunk"},
      // Bytes beyond the announced length are dropped.
      {respondWith(head + "Content-Length: 2\r\n\r\nabcd"), "1.1 200 OK|content-length=2|ab"},
      {respondWith(head + "Content-Length: 5x\r\n\r\nhello"), "ResponseError: Invalid digit"},
      {respondWith(head + "Content-Length: 18446744073709551616\r\n\r\n"), "ResponseError: Invalid digit"},
      {respondWith(head + "Transfer-Encoding: Chunked\r\n\r\n"),
       "ResponseError: Unsupported transfer encoding: Chunked"},
      {respondWith(chunked + "3\r\nabcX\r\n"), "ResponseError: Invalid chunk"},
      {respondWith(chunked + "4;x=1\r\nabcd\r\n0\r\n\r\n"), "ResponseError: Invalid hex digit"},
      {respondWith(chunked + "10000000000000000\r\n"), "ResponseError: Invalid hex digit"},
      {respondWith("HTTP/1.1 200\r\n\r\n"), "ResponseError: Invalid status line"},
      // A head must end within 64 KiB and 100 fields, a chunk size line within 1 KiB.
      {respondWith(head + "X: " + std::string(65536, 'a') + "\r\n\r\n"), "ResponseError: Header too large"},
      {respondWith(head + [] { std::string f; for (int i = 0; i < 101; ++i) f += "X: 1\r\n"; return f; }() + "\r\n"),
       "ResponseError: Header too large"},
      {respondWith(chunked + std::string(2000, '0') + "\r\n"), "ResponseError: Invalid chunk"},
      // From a peer that holds the connection, only the framing ends the exchange in time. Interim answers
      // are skipped (101 is final); 1xx, 204, 304 and HEAD answers end with their head.
      {paced("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n"
             "HTTP/1.1 404 Not Found\r\nContent-Length: 5\r\n\r\nhello"), "1.1 404 Not Found|content-length=5|hello"},
      {paced("HTTP/1.1 101 Switching Protocols\r\n\r\n"), "1.1 101 Switching Protocols|"},
      {paced("HTTP/1.1 204 No Content\r\n\r\n"), "1.1 204 No Content|"},
      {paced("HTTP/1.1 304 Not Modified\r\nContent-Length: 9\r\n\r\n"), "1.1 304 Not Modified|content-length=9|"},
      {paced(head + "Transfer-Encoding: chunked\r\n\r\n"), "1.1 200 OK|transfer-encoding=chunked|", 5000, "HEAD"},
      // A bare LF fails at once, not when the blank line of CR LFs never comes.
      {paced("HTTP/1.1 200 OK\nContent-Length: 2\n\nok"), "ResponseError: Invalid header: line ends in LF without CR"},
      // One byte at a time: every cut, inside the blank line, size lines (hex of either case), data, a chunk's CR LF.
      {paced(head + "X-Folded: a\r\n  b\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\nA\r\n0123456789\r\n"
                    "b\r\ndefghijklmn\r\n0\r\n\r\n", 2ms, 1),
       "1.1 200 OK|x-folded=a  b|transfer-encoding=chunked|abc0123456789defghijklmn"},
      // A body framed by closing, from a peer that never closes.
      {paced(head + "\r\npartial"), timedOut, 300},
      // A time-out of 0 fails on the first wait; a negative one never ends the exchange.
      {paced(httpAnswer("ok"), 300ms), timedOut, 0},
      {paced(httpAnswer("ok"), 300ms), "1.1 200 OK|content-length=2|ok", -1},
  };
  http::detail::ResponseReception huge;  // reserving the 1 TiB claimed would fail or exhaust memory
  http::detail::addReceivedBytes(huge, head + "Content-Length: 1099511627776\r\n\r\nabc");
  EXPECT_LE(huge.response.body.capacity(), 64u << 20);
  const auto openDescriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  const auto descriptors = openDescriptors();
  for (const auto& row : cases)
    EXPECT_EQ(fetch(ScriptedServer(row.script).url(), row.timeoutMs, row.method), row.expected)
        << "row " << &row - cases;
  EXPECT_EQ(openDescriptors(), descriptors) << "an exchange left a descriptor open";
}

TEST(HttpExchange, TimeOutIsTheLongestSilence) {
  // 20 pieces 50 ms apart: longer than the 600 ms allowed, never silent for that long.
  ScriptedServer slow(paced("HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n" + std::string(20, 'x'), 50ms, 3));
  // Streamed: the sink sees every byte in order; below the floor after its grace, the drip ends.
  std::string streamed;
  const http::BodySink sink = [&](const http::Response& head, std::string_view bytes) {
    if (head.status.code == 200) streamed += bytes;
    return true;
  };
  const auto stream = [&](std::optional<http::MinimumRate> floor) {
    return outcome([&] { return describe(http::Request(slow.url()).send("GET", "", {}, 600, sink, floor)); });
  };
  EXPECT_EQ(stream(std::nullopt), "1.1 200 OK|content-length=20|");
  EXPECT_EQ(streamed, std::string(20, 'x'));
  EXPECT_EQ(stream(http::MinimumRate{200, 1024}), "ResponseError: Transfer too slow");
}

TEST(HttpExchange, SocketFailuresCarryTheWinsockCode) {
  // A listener that never accepts, its backlog filled (0 still admits a connection or two): a further
  // connection attempt stays pending.
  std::uint16_t unanswered = 0;
  std::vector<int> descriptors{listenOnLoopback(0, unanswered)};
  for (int i = 0; i < 4; ++i) descriptors.push_back(connectToLoopback(unanswered, true));
  ScriptedServer silent([](ScriptedConnection& connection) { connection.pause(5s); });  // never reads
  ScriptedServer closing([](ScriptedConnection&) {});                                   // closes without reading
  const std::tuple<std::string, std::int64_t, std::string> cases[] = {
      {loopbackUrl(unanswered), 300, "ResponseError: Request timed out"},
      // The large body fills the socket buffers of a peer that never reads, or is reset by one that closes.
      {silent.url(), 300, "ResponseError: Request timed out"},
      {closing.url(), 5000, "system_error(10054): Failed to send data: Connection reset by peer"},
      {loopbackUrl(freeLoopbackPort()), 5000, "system_error(10061): Failed to connect: Connection refused"},
      // The empty label makes the resolver refuse the name itself, without asking a DNS server.
      {"http://no..such.invalid/", 5000,
       "system_error(11001): Failed to get address info of no..such.invalid: Host not found"},
  };
  const std::string large(64 << 20, 'x');
  for (const auto& [url, timeoutMs, expected] : cases) EXPECT_EQ(fetch(url, timeoutMs, "POST", large), expected) << url;
  for (int descriptor : descriptors) ::close(descriptor);
}

TEST(HttpExchange, RefusesUnsafeRequestsBeforeConnecting) {
  // Only the first connection is answered: had a refused request connected, the valid one would not be.
  ScriptedServer server(std::vector{respondWith("HTTP/1.1 204 No Content\r\n\r\n")});
  for (const std::string name : {"X Y", ":", ""})
    EXPECT_EQ(fetch(server.url(), 5000, "GET", "", {{name, "v"}}), "RequestError: Invalid header field name") << name;
  for (const auto& bad : {"a\nb"s, "a\0b"s, "\x7f"s})
    EXPECT_EQ(fetch(server.url(), 5000, "GET", "", {{"X", bad}}), "RequestError: Invalid header field value") << bad;
  for (const std::string target : {"/a\r\nX: 1", "/a b", "/a\tb", "/\x7f", "/?a b", "/?\r\nX: 1"})
    EXPECT_EQ(fetch(server.url(target)), "RequestError: Invalid request target") << target;
  EXPECT_EQ(fetch("HTTP" + server.url().substr(4)), "RequestError: Only HTTP scheme is supported");
  EXPECT_EQ(fetch(server.url()), "1.1 204 No Content|");
  // The host goes into a header field too.
  EXPECT_EQ(outcome([] { return http::composeRequest(http::parseUrl("http://a\rb/"), "GET", "", {}); }),
            "RequestError: Invalid header field value");
}

TEST(HttpPeers, NginxByLengthAndChunked) {
  TempFolder site;
  std::string file(3 << 20, '\0');
  std::ranges::generate(file, std::mt19937(7));  // varied bytes, no run that a framing fault could hide in
  for (const char* name : {"data.bin", "filtered/data.bin"}) writeFile(site / name, file);
  // Filtering the body drops its length, so nginx sends it chunked.
  NginxServer nginx(
      site.path(), "location /filtered/ { sub_filter 'text' 'TEXT'; sub_filter_once off; sub_filter_types *; }");
  const auto received = [&](const std::string& path) {
    const http::Response response = http::Request(nginx.url(path)).send("GET", "", {}, 10000);
    std::string text = std::to_string(response.status.code);
    for (const auto& [name, value] : response.headerFields)
      if (name == "content-length" || name == "transfer-encoding") text += "|" + name + "=" + value;
    return text + (response.body == file ? "|the file" : "|other bytes");
  };
  EXPECT_EQ(received("/data.bin") + " " + received("/filtered/data.bin"),
            "200|content-length=3145728|the file 200|transfer-encoding=chunked|the file");
}

TEST(HttpConnection, KeepsOneConnectionWhileBothSidesAllowItAndSendsAgainOnceWhereTheServerClosedIt) {
  const std::string second = httpAnswer("second");
  const auto first = [](const std::string& fields, const std::string& version = "1.1") {
    return "HTTP/" + version + " 200 OK\r\n" + fields + "Content-Length: 5\r\n\r\nfirst";
  };
  const struct {
    std::string name;
    std::vector<ConnectionScript> scripts;  // one per accepted connection; any further one is closed at once
    std::string expected = "200:5 200:6 after 2 requests";
    bool stopFirstBody = false;
  } rows[] = {
      {"kept", {serve({first(""), second})}},
      {"HTTP/1.0 with keep-alive", {serve({first("Connection: Keep-Alive\r\n", "1.0"), second})}},
      {"chunked with a trailer",
       {serve({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nfirst\r\n0\r\nX-T: 1\r\n\r\n", second})}},
      {"closed while idle", {serve({first("")}), serve({second})}},
      {"closed on the next request: sent again", {serve({first(""), ""}), serve({second})},
       "200:5 200:6 after 3 requests"},
      {"sent again only once", {serve({first(""), ""}), serve({""}), serve({second})},
       "200:5 ResponseError: Connection closed without a response after 3 requests"},
      {"failed after response bytes: not sent again",
       {serve({first(""), "HTTP/1.1 200 OK\r\nContent-Le"}), serve({second})},
       "200:5 ResponseError: Connection closed before the end of the response head after 2 requests"},
      // The server holds these connections: using one again would time out.
      {"Connection: close", {serve({first("Connection: keep-alive, Close\r\n")}, true), serve({second})}},
      {"HTTP/1.0", {serve({first("", "1.0")}, true), serve({second})}},
      {"Keep-Alive max=1", {serve({first("Keep-Alive: timeout=5, max=1\r\n")}, true), serve({second})}},
      {"Keep-Alive timeout=0", {serve({first("Keep-Alive: timeout=0\r\n")}, true), serve({second})}},
      {"bytes beyond the body", {serve({first("") + "HTTP/1.1 200 OK\r\n"}, true), serve({second})}},
      // The sink stops at the first piece; the rest of the body comes after the next request went out.
      {"body not read to its end", {paced(httpAnswer("0123456789"), 100ms, 40), serve({second})},
       "200:stopped 200:6 after 2 requests", true},
  };
  for (const auto& row : rows) {
    ScriptedServer server(row.scripts);
    http::Connection connection;
    std::string text;
    for (const bool firstExchange : {true, false}) {
      std::size_t received = 0;
      const http::BodySink sink = [&](const http::Response&, std::string_view bytes) {
        received += bytes.size();
        return !(firstExchange && row.stopFirstBody);
      };
      text += outcome([&] {
        const auto code = std::to_string(connection.send(server.url(), "GET", "", {}, 1000, sink).status.code);
        return code + ":" + (firstExchange && row.stopFirstBody ? "stopped" : std::to_string(received));
      }) + " ";
    }
    EXPECT_EQ(text + "after " + std::to_string(server.receivedRequests().size()) + " requests", row.expected)
        << row.name;
  }
}
