#pragma once
// A visible GLFW window with a current OpenGL 3.3 context (Mesa's software driver) on a
// private Xvfb, shared by the tests of one suite.
#include <gtest/gtest.h>

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <memory>

#include "tests/support/x11_window.h"
#include "tests/support/xvfb.h"

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = std::make_unique<testing_support::XvfbServer>();
    ASSERT_TRUE(server->running());
    server->useInThisProcess();
    ASSERT_TRUE(glfwInit());
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    window = glfwCreateWindow(300, 200, "window under test", nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    glfwMakeContextCurrent(window);
    glewExperimental = GL_TRUE;
    ASSERT_EQ(glewInit(), GLEW_OK);
    x = std::make_unique<testing_support::X11Display>(server->display());
  }
  static void TearDownTestSuite() {
    x.reset();
    glfwTerminate();
    server.reset();
  }

  static bool xdotool(const std::vector<std::string>& arguments) {
    return testing_support::xdotool(server->display(), arguments);
  }

  static inline std::unique_ptr<testing_support::XvfbServer> server;
  static inline std::unique_ptr<testing_support::X11Display> x;
  static inline GLFWwindow* window = nullptr;
};
