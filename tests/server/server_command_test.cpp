// Running the server: bad options and values, the configuration file, the
// users subcommands, and SIGHUP.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "server/admin/Options.h"
#include "server/admin/Users.h"
#include "server_client.h"

namespace {

using velsrv::Options;

// The command's exit status; its standard output and error go to *out.
int RunCommand(const std::string& arguments, std::string* out, const std::string& input = "") {
  const std::string command = "printf '" + input + "' | " + VEL_SERVER_PATH + " " + arguments + " 2>&1";
  out->clear();
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[256];
  size_t n;
  while (pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out->append(buffer, n);
  int raw = pipe ? pclose(pipe) : -1;
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string Write(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
  return path;
}

int Mode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : -1;
}

TEST(ServerCommandLine, EveryBadOptionOrValueIsOneLineAndStatusTwo) {
  VeloraServer scratch;
  const std::string dir = scratch.Folder();
  Write(dir + "/nokey.conf", "port 5\n");
  Write(dir + "/unknown.conf", "# fine\nport = 5\ncolour = blue\n");
  Write(dir + "/flag.conf", "allow-plaintext = maybe\n");
  // clang-format off
  const struct { std::string arguments; const char* message; } rows[] = {
      {"--bogus", "velora-server: unknown option --bogus (velora-server --help"},
      {"stray", "unexpected argument \"stray\""},
      {"--port", "--port needs a value"},
      {"--port 70000", "--port: invalid value \"70000\" (a number from 0 to 65535)"},
      {"--port=12x", "--port: invalid value \"12x\""},
      {"--max-frame 10", "--max-frame: invalid value \"10\" (a number from 64"},
      {"--lock-timeout 0", "--lock-timeout: invalid value \"0\" (a number from 1 to 86400)"},
      {"--database postgresql://h/db", "--database: names an SQLite file"},
      {"--storage /tmp/x.db", "--storage: needs a postgresql:// URI"},
      {"--datasource nameonly", "--datasource: needs NAME=PATH, not \"nameonly\""},
      {"--address ''", "--address: empty address"},
      {"--stream no", "unknown option --stream"},
      {"--tls-cert a.pem", "--tls-cert and --tls-key go together"},
      {"--metrics-auth token", "--metrics-auth: needs bearer:FILE or basic:FILE, not \"token\""},
      {"--metrics-auth digest:/f", "--metrics-auth: needs bearer:FILE or basic:FILE"},
      {"--metrics-auth bearer:", "--metrics-auth: needs bearer:FILE or basic:FILE"},
      {"--metrics-tls --metrics 9480", "--metrics-tls needs --tls-cert and --tls-key"},
      {"--config", "--config needs a value"},
      {"--config " + dir + "/missing.conf", "cannot read configuration file"},
      {"--config " + dir + "/nokey.conf", "nokey.conf:1: expected key = value"},
      {"--config " + dir + "/unknown.conf", "unknown.conf:3: unknown key \"colour\""},
      {"--config " + dir + "/flag.conf", "flag.conf:1: allow-plaintext: invalid value \"maybe\" (yes or no)"},
      {"users", "unknown subcommand \"\""},
      {"users --users u frobnicate", "unknown subcommand \"frobnicate\""},
      {"users list", "--users FILE or --config FILE is needed"},
      {"users --users u remove", "remove needs a user name"},
      {"users --users u passwd --read-only bob", "passwd takes no rights"},
      {"users --config " + dir + "/flag.conf list", "allow-plaintext: invalid value"},
  };
  // clang-format on
  for (const auto& r : rows) {
    std::string out;
    EXPECT_EQ(RunCommand(r.arguments, &out), 2) << r.arguments;
    EXPECT_NE(out.find(r.message), std::string::npos) << r.arguments << ": " << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << r.arguments << ": " << out;
  }
  std::string out;
  EXPECT_EQ(RunCommand("--version", &out), 0);
  EXPECT_EQ(out, std::string("velora-server ") + VEL_VERSION + "\n");
  EXPECT_EQ(RunCommand("--help", &out), 0);
  EXPECT_NE(out.find("--config FILE"), std::string::npos);
}

TEST(ServerCommandLine, EveryConfigurationKeyRoundTripsAndTheCommandLineWins) {
  VeloraServer scratch;
  // Every key, none at its default, in the order the server prints them.
  const std::string text =
      "address = 0.0.0.0\nport = 6000\nstorage = postgresql://u@h/db\nread-storage = postgresql://u@s/db\n"
      "datasource = a=/data/a.db\ndatasource = b=postgresql://u@h/b\nusers = /etc/users\n"
      "tls-cert = /etc/c.pem\ntls-key = /etc/c.key\nallow-plaintext = yes\nport-file = /run/port\n"
      "max-clients = 7\nmax-frame = 4096\nmax-statements = 9\nlock-timeout = 5\ndrain-timeout = 0\n"
      "metrics = [::1]:9480\nmetrics-auth = basic:/etc/m.secret\nmetrics-tls = yes\nverbose = 2\n"
      "trace-frames = yes\nblock-fetch = no\nbatch = no\nstream = no\nquick = no\n";
  const std::string path = Write(scratch.Folder() + "/all.conf", "# comment\n\n" + text);
  Options o;
  std::string error;
  ASSERT_TRUE(velsrv::ReadConfigFile(path, &o, &error)) << error;
  EXPECT_EQ(velsrv::ConfigText(o), text);
  std::string out;
  EXPECT_EQ(RunCommand("--config " + path + " --print-config", &out), 0);
  EXPECT_EQ(out, text);
  EXPECT_EQ(RunCommand("--config=" + path + " --port 7 -v --database /x.db --datasource a=/y.db --print-config", &out),
            0);
  std::string expected = text;
  for (const auto& change : {std::make_pair("port = 6000", "port = 7"),
                             {"verbose = 2", "verbose = 1"},
                             {"storage = postgresql://u@h/db", "database = /x.db"},
                             {"a=/data/a.db", "a=/y.db"}})
    expected.replace(expected.find(change.first), std::string(change.first).size(), change.second);
  EXPECT_EQ(out, expected);
}

TEST(ServerUsersCommand, ListAddPasswdGrantRemoveKeepRightsAndModeAndNeverShowHashes) {
  VeloraServer scratch;
  const std::string users = Write(scratch.Folder() + "/users", "# staff\n");
  chmod(users.c_str(), 0600);
  const std::string u = "users --users " + users + " ";
  // output: list's whole output; a fragment of the others'
  // clang-format off
  const struct { std::string arguments, input; int status; const char* output; } rows[] = {
      {u + "add --password-stdin --read-only --datasource sales alice", "one\\n", 0, "alice written"},
      {"adduser --users " + users + " --password-stdin bob", "two\\n", 0, "bob written"},
      {u + "add --password-stdin bob", "x\\n", 1, "user bob exists already"},
      {u + "list", "", 0, "alice\tread-only,datasource=sales\nbob\t-\n"},
      {u + "passwd --password-stdin alice", "three\\n", 0, ""},
      {u + "grant --datasource a --datasource b bob", "", 0, ""},
      {u + "list", "", 0, "alice\tread-only,datasource=sales\nbob\tdatasource=a,datasource=b\n"},
      {u + "remove carol", "", 1, "no user carol in"},
      {u + "remove alice", "", 0, "alice removed from"},
      {"users --config " + Write(scratch.Folder() + "/c.conf", "users = " + users + "\n") + " list", "", 0,
       "bob\tdatasource=a,datasource=b\n"},
  };
  // clang-format on
  for (const auto& r : rows) {
    std::string out;
    EXPECT_EQ(RunCommand(r.arguments, &out, r.input), r.status) << r.arguments << ": " << out;
    if (r.arguments.find(" list") != std::string::npos)
      EXPECT_EQ(out, r.output) << r.arguments;
    else
      EXPECT_NE(out.find(r.output), std::string::npos) << r.arguments << ": " << out;
    EXPECT_EQ(out.find('$'), std::string::npos) << r.arguments;  // no crypt hash
    EXPECT_EQ(Mode(users), 0600) << r.arguments;
  }
  std::ifstream in(users);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "# staff");
  std::string error;
  velsrv::UserRights rights;
  EXPECT_TRUE(velsrv::CheckUser(users, "bob", "two", &error, &rights));
  EXPECT_EQ(rights.Text(), "datasource=a,datasource=b");
}

// SIGHUP: a session stays connected and working; the changed users file
// and a new certificate apply to what follows; a broken certificate keeps
// the one loaded.
TEST(ServerSignals, HangUpReloadsWithoutDroppingSessions) {
  VeloraServer server;
  server.AddUser("alice", "one");
  const std::string stem = server.Folder() + "/cert";
  ASSERT_TRUE(MakeTestCertificate(stem, "localhost"));
  ASSERT_TRUE(server.Start({"--tls-cert", stem + ".pem", "--tls-key", stem + ".key"})) << server.Error();
  Client c;
  ASSERT_EQ(c.Connect(server.Port(), "db", "alice", "one"), 0);
  const uint32_t s = c.Alloc();
  const std::string users = server.Folder() + "/users";
  std::string error;
  ASSERT_TRUE(velsrv::EditUser(users, velsrv::UserEdit::kPassword, "alice", "two", {}, &error)) << error;
  ASSERT_TRUE(MakeTestCertificate(stem, "localhost"));
  ASSERT_EQ(kill(server.Pid(), SIGHUP), 0);
  ASSERT_TRUE(server.WaitForLog("reloaded on SIGHUP"));
  EXPECT_NE(server.Log().find("certificate " + stem + ".pem reloaded"), std::string::npos);
  EXPECT_EQ(c.Exec(s, "SELECT 1"), 0);
  c.Call(Msg::kFreeStatement, s, 0);
  Client old, fresh;
  EXPECT_NE(old.Connect(server.Port(), "db", "alice", "one"), 0);
  EXPECT_EQ(fresh.Connect(server.Port(), "db", "alice", "two"), 0);
  Write(stem + ".pem", "broken\n");
  ASSERT_EQ(kill(server.Pid(), SIGHUP), 0);
  ASSERT_TRUE(server.WaitForLog("the certificate loaded before stays"));
  EXPECT_EQ(c.Exec(s, "SELECT 2"), 0);
  EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
