// velora-server: the users and status subcommands, or the command line (and its
// configuration file), then the listener.
#include <cstdio>
#include <cstring>
#include <string>

#include "server/Listener.h"
#include "server/Log.h"
#include "server/admin/Options.h"
#include "server/admin/StatusCommand.h"
#include "server/admin/Users.h"

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "users") == 0 || std::strcmp(argv[1], "adduser") == 0))
    return velsrv::UsersCommand(argc - 2, argv + 2, argv[1][0] == 'a');
  if (argc >= 2 && std::strcmp(argv[1], "status") == 0)
    return velsrv::StatusCommand(argc - 2, argv + 2);
  velsrv::Options options;
  std::string error;
  if (!velsrv::ParseOptions(argc - 1, argv + 1, &options, &error)) {
    std::fprintf(stderr, "velora-server: %s (velora-server --help lists the options)\n",
                 error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(velsrv::kUsage, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("velora-server %s\n", velsrv::kPackageVersion);
    return 0;
  }
  if (options.printConfig) {
    std::fputs(velsrv::ConfigText(options).c_str(), stdout);
    return 0;
  }
  velsrv::SetLogVerbosity(options.verbosity);
  velsrv::SetFrameTrace(options.traceFrames);
  return velsrv::RunServer(options);
}
