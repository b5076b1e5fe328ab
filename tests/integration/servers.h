// The servers and data sources shared by the tests of one integration
// test program: two open servers (any login), one with a users file, and
// a port nobody listens on.
#ifndef VELORA_TESTS_INTEGRATION_SERVERS_H
#define VELORA_TESTS_INTEGRATION_SERVERS_H

#include <gtest/gtest.h>

#include "support/velora_server.h"

// Data sources: "VelOpen" (server A), "VelOther" (server B), "VelAuth"
// (server C, user alice with password wonderland), "VelRefused" (no
// server), "VelPrompt" (server A, asks for the password).
class Servers : public ::testing::Environment {
 public:
  explicit Servers(const char* program) : program_(program) {}
  void SetUp() override;
  void TearDown() override;

  static VeloraServer& A();
  static VeloraServer& B();
  static VeloraServer& C();
  static int RefusedPort();

 private:
  const char* program_;
};

#endif
