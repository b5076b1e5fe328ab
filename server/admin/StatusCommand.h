// velora-server status: a short summary of a running server, read from its
// metrics endpoint.
#ifndef VELORA_SERVER_ADMIN_STATUSCOMMAND_H
#define VELORA_SERVER_ADMIN_STATUSCOMMAND_H

#include <string>

namespace velsrv {

// The configuration file status reads when given neither --metrics nor
// --config.
extern const char kPackagedConfig[];

// argv: the arguments after "status". Prints the summary and returns 0;
// 1 when the endpoint is off or does not answer; 2 for bad arguments.
int StatusCommand(int argc, char** argv);

// What an endpoint asks beyond plain HTTP (--metrics-auth, --metrics-tls).
struct ScrapeWay {
  std::string authorization;  // the Authorization header's value; empty: none
  // HTTPS, accepting only the first certificate of this PEM file (the
  // server's --tls-cert); empty: HTTP.
  std::string certificate;
};

// GETs /metrics from address (SplitEndpoint's forms), waiting at most
// seconds for each step. True with the body in *text; false with *error.
bool ScrapeMetrics(const std::string& address, int seconds, std::string* text, std::string* error,
                   const ScrapeWay& way = ScrapeWay());

}  // namespace velsrv

#endif
