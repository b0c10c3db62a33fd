// A digest request that is answered while the program ends must not touch destroyed state.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/run_program.h"
#include "tests/update/served_documents.h"

using namespace update_testing;
using testing_support::ScriptedConnection;

TEST(ProgramEnd, ADigestArrivingDuringExitIsHarmless) {
  const std::string digest = okResponse("0123456789abcdef0123456789abcdef");
  testing_support::ScriptedServer server(std::vector<testing_support::ConnectionScript>{
      [&](ScriptedConnection& connection) {
        connection.readRequest();
        connection.send(digest);
      },
      [&](ScriptedConnection& connection) {
        connection.readRequest();
        connection.pause(std::chrono::milliseconds(400));
        connection.send(digest);
      },
  });
  const auto result = testing_support::runProgram(UPDATE_EXIT_HELPER, {server.url()});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("runtime error"), std::string::npos) << result.err;
  EXPECT_EQ(server.receivedRequests().size(), 2u);
}
