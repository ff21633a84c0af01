#pragma once
#include <string>

namespace vt {

// A virtual X screen of the test program's own (1280 x 1024), with a window
// manager on it when one is installed, started on first use and kept until
// the program ends. While a test holds it, it is the toolkit's default
// display, whatever display the program was started on.
class TestDesktop {
 public:
  // Null with the reason when the screen cannot be had (the test skips).
  static TestDesktop* Get(std::string* whyNot);
  bool HasWindowManager() const { return windowManager_; }
  const std::string& Name() const { return name_; }

  // Makes this the default display for one test, and gives the old one back.
  void Enter();
  void Leave();

  // Ends the window manager and the server (at the end of the program).
  static void Shutdown();

 private:
  TestDesktop() = default;
  bool Start(std::string* whyNot);

  std::string name_;
  bool windowManager_ = false;
  void* server_ = nullptr;   // GSubprocess
  void* manager_ = nullptr;  // GSubprocess
  void* display_ = nullptr;  // GdkDisplay, once opened
  void* previous_ = nullptr;
  std::string previousEnv_;
  bool hadEnv_ = false;
};

}  // namespace vt
