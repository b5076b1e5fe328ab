// Starting the shared servers and writing the data sources.
#include "servers.h"

#include <cstdlib>

#include "support/odbc_environment.h"

namespace {
VeloraServer g_a, g_b, g_c;
int g_refused = 0;
}  // namespace

VeloraServer& Servers::A() { return g_a; }
VeloraServer& Servers::B() { return g_b; }
VeloraServer& Servers::C() { return g_c; }
int Servers::RefusedPort() { return g_refused; }

void Servers::SetUp() {
  // Never a prompt on the terminal of whoever runs the program.
  setenv("VELODBC_DIALOG", "none", 1);
  g_c.AddUser("alice", "wonderland");
  ASSERT_TRUE(g_a.Start()) << g_a.Error();
  ASSERT_TRUE(g_b.Start()) << g_b.Error();
  ASSERT_TRUE(g_c.Start()) << g_c.Error();
  g_refused = UnusedLoopbackPort();
  UsePrivateOdbc(program_,
                 DataSourceSection("VelOpen", "127.0.0.1", g_a.PortText()) +
                     DataSourceSection("VelOther", "127.0.0.1", g_b.PortText()) +
                     DataSourceSection("VelAuth", "127.0.0.1", g_c.PortText(), "alice") +
                     DataSourceSection("VelRefused", "127.0.0.1", std::to_string(g_refused)) +
                     DataSourceSection("VelPrompt", "127.0.0.1", g_a.PortText(), "public", "Yes"));
}

void Servers::TearDown() {
  g_a.Stop();
  g_b.Stop();
  g_c.Stop();
}
