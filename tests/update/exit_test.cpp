// A digest request still waiting when the program ends must not touch destroyed state:
// once with the engine alone, the answer arriving after every static object is gone, and
// once with the real program, closed right after start-up while a slow server (nginx on
// the program's fixed address 127.0.0.1:45004) holds the answer back. Under the sanitizers
// any report ends the process with a failure status.
#include <gtest/gtest.h>

#include <future>
#include <regex>

#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"
#include "tests/support/server_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/x11_window.h"
#include "tests/support/xvfb.h"

using namespace std::chrono_literals;
using namespace testing_support;

TEST(ProgramEnd, ADigestArrivingWhileTheEngineEndsIsHarmless) {
  const std::string digest = "HTTP/1.1 200 OK\r\nContent-Length: 32\r\n\r\n0123456789abcdef0123456789abcdef";
  ScriptedServer server(std::vector<ConnectionScript>{respondWith(digest), [&](ScriptedConnection& connection) {
    connection.readRequest();
    connection.pause(400ms);
    connection.send(digest);
  }});
  const ProgramResult result = runProgram(UPDATE_EXIT_HELPER, {server.url()});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(server.receivedRequests().size(), 2u);
}

TEST(ProgramEnd, ClosingTheWindowWhileTheDigestRequestWaitsEndsCleanly) {
  TempFolder work;
  const std::string w = work.path().string();
  writeFile(work / "nginx.conf",
            "load_module /usr/lib/nginx/modules/ngx_http_echo_module.so;\n"
            "daemon off; master_process off; worker_processes 1; pid " + w + "/nginx.pid;\n"
            "events {}\n"
            "http { access_log off; client_body_temp_path " + w + "; proxy_temp_path " + w + ";\n"
            "  fastcgi_temp_path " + w + "; uwsgi_temp_path " + w + "; scgi_temp_path " + w + ";\n"
            // An empty digest makes no verdict, should another program of this machine ask meanwhile.
            "  server { listen 127.0.0.1:45004; location = /QuarnMpUpdater/ { echo_sleep 2; } } }\n");
  ServerProcess nginx("/usr/sbin/nginx", {"-p", w, "-e", w + "/error.log", "-c", w + "/nginx.conf"}, work / "out");
  ASSERT_TRUE(waitForLoopbackPort(45004, 15s)) << readFile(work / "error.log");

  XvfbServer display;
  ASSERT_TRUE(display.running());
  X11Display x(display.display());
  TempFolder installation;
  makeInstallation(installation.path(), TestLayout::Rusk);
  ProgramOptions options;
  options.workingDirectory = installation.path().string();
  options.environment = display.environment();
  options.timeout = 120s;
  auto program = std::async(std::launch::async, [options] { return runProgram(QUARNMP_UPDATER_EXE, {}, options); });
  const unsigned long window = x.waitForWindow(std::regex("QuarnMpUpdater - Version .*"), 60s);
  ASSERT_NE(window, 0u);
  x.requestClose(window);
  ASSERT_EQ(program.wait_for(90s), std::future_status::ready);
  const ProgramResult result = program.get();
  EXPECT_EQ(result.exitCode, 0) << result.err;
}
