// The TCP listener: accepts clients, runs the greeting and one session per
// client on its own thread, reloads on SIGHUP and stops cleanly on SIGINT
// or SIGTERM.
#ifndef VELORA_SERVER_LISTENER_H
#define VELORA_SERVER_LISTENER_H

#include <string>

#include "server/admin/Options.h"

namespace velsrv {

// Binds and listens as options say, writes the port file and logs the
// address; then serves until a stop signal. Returns the exit code.
int RunServer(const Options& options);

}  // namespace velsrv

#endif
