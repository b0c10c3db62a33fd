// A digest request still waiting when the program ends must not touch destroyed state:
// once with the engine alone, the answer arriving after every static object is gone, and
// once with the real program, closed right after start-up while a slow server (nginx on
// the program's fixed address 127.0.0.1:45004) holds the answer back.
#include <gtest/gtest.h>

#include <future>
#include <regex>

#include "tests/support/run_program.h"
#include "tests/support/server_process.h"
#include "tests/support/x11_window.h"
#include "tests/support/xvfb.h"
#include "tests/update/served_documents.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ProgramResult;

void expectCleanEnd(const ProgramResult& result) {
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("runtime error"), std::string::npos) << result.err;
}

const std::regex mainWindowTitle("QuarnMpUpdater - Version .*");

std::string slowDigestServerConfig(const std::filesystem::path& work) {
  const std::string w = work.string();
  return "load_module /usr/lib/nginx/modules/ngx_http_echo_module.so;\n"
         "daemon off; master_process off; worker_processes 1;\n"
         "pid " + w + "/nginx.pid; error_log " + w + "/error.log;\n"
         "events {}\n"
         "http { access_log " + w + "/access.log;\n"
         "  client_body_temp_path " + w + "; proxy_temp_path " + w + "; fastcgi_temp_path " + w + ";\n"
         "  uwsgi_temp_path " + w + "; scgi_temp_path " + w + ";\n"
         "  server { listen 127.0.0.1:45004;\n"
         // An empty digest makes no verdict, should another program of this machine ask meanwhile.
         "    location = /QuarnMpUpdater/ { echo_sleep 2; } } }\n";
}

}  // namespace

TEST(ProgramEnd, ADigestArrivingWhileTheEngineEndsIsHarmless) {
  const std::string digest = update_testing::okResponse("0123456789abcdef0123456789abcdef");
  testing_support::ScriptedServer server(std::vector<testing_support::ConnectionScript>{
      update_testing::serveByPath({{"/QuarnMpUpdater/", digest}}),
      [&](testing_support::ScriptedConnection& connection) {
        connection.readRequest();
        connection.pause(400ms);
        connection.send(digest);
      }});
  expectCleanEnd(testing_support::runProgram(UPDATE_EXIT_HELPER, {server.url()}));
  EXPECT_EQ(server.receivedRequests().size(), 2u);
}

TEST(ProgramEnd, ClosingTheWindowWhileTheDigestRequestWaitsEndsCleanly) {
  testing_support::TempFolder work;
  testing_support::writeFile(work / "nginx.conf", slowDigestServerConfig(work.path()));
  testing_support::ServerProcess nginx("/usr/sbin/nginx",
                                       {"-p", work.path().string(), "-e", (work / "error.log").string(), "-c",
                                        (work / "nginx.conf").string()},
                                       work / "nginx.out");
  ASSERT_TRUE(testing_support::waitForLoopbackPort(45004, 15s)) << testing_support::readFile(work / "error.log");

  testing_support::XvfbServer display;
  ASSERT_TRUE(display.running());
  testing_support::X11Display x(display.display());
  testing_support::TempFolder installation;
  testing_support::makeInstallation(installation.path(), testing_support::TestLayout::Rusk);
  testing_support::ProgramOptions options;
  options.workingDirectory = installation.path().string();
  options.environment = display.environment();
  options.timeout = 120s;
  auto program = std::async(std::launch::async, [options] {
    return testing_support::runProgram(QUARNMP_UPDATER_EXE, {}, options);
  });

  const unsigned long window = x.waitForWindow(mainWindowTitle, 60s);
  ASSERT_NE(window, 0u);
  x.requestClose(window);
  ASSERT_EQ(program.wait_for(90s), std::future_status::ready);
  expectCleanEnd(program.get());
}
