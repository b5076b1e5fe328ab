// velora-server: command line, then the listener or the adduser
// subcommand.
#include <cstdio>
#include <cstring>
#include <string>

#include "server/Listener.h"
#include "server/Log.h"
#include "server/Options.h"
#include "server/Users.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "adduser") == 0)
    return velsrv::AddUserCommand(argc - 2, argv + 2);
  velsrv::Options options;
  std::string error;
  if (!velsrv::ParseOptions(argc - 1, argv + 1, &options, &error)) {
    std::fprintf(stderr, "velora-server: %s\n%s", error.c_str(), velsrv::kUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(velsrv::kUsage, stdout);
    return 0;
  }
  velsrv::SetLogVerbosity(options.verbosity);
  velsrv::SetFrameTrace(options.traceFrames);
  return velsrv::RunServer(options);
}
