// The server's command line and configuration file.
#ifndef VELORA_SERVER_ADMIN_OPTIONS_H
#define VELORA_SERVER_ADMIN_OPTIONS_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace velsrv {

struct Options {
  std::string address = "127.0.0.1";
  int port = 5480;
  std::string database = "velora.db";              // or a PostgreSQL URI (--storage)
  std::map<std::string, std::string> datasources;  // NAME -> PATH or URI
  std::vector<std::string> readStorage;            // standbys of --storage, tried in order
  std::string users;                               // empty: any login accepted
  std::string tlsCert, tlsKey;                     // both or neither: encrypted connections
  bool allowPlaintext = false;                     // plaintext beyond loopback
  std::string portFile;
  int maxClients = 64;
  uint32_t maxFrame = 16u << 20;
  int maxStatements = 256;  // per client
  int lockTimeout = 30;     // seconds a writer waits for the writers before it
  int drainTimeout = 30;    // seconds running requests may take after SIGTERM
  std::string metrics;      // ADDRESS:PORT of the metrics endpoint; empty: none
  std::string metricsAuth;  // bearer:FILE or basic:FILE; empty: no authentication
  bool metricsTls = false;  // HTTPS with tlsCert and tlsKey
  int verbosity = 0;
  bool traceFrames = false;
  bool blockFetch = true;  // offer the fetch-block request at login
  bool batch = true;       // offer the execute-batch request at login
  bool stream = true;      // offer blocks asked for ahead at login (with block-fetch)
  bool quick = true;       // offer executions answered with their first rows (with block-fetch)
  std::string config;      // the configuration file read, if any
  bool help = false;
  bool version = false;
  bool printConfig = false;

  // The database of a data source name: its --datasource pair, else
  // --database.
  const std::string& DatabaseFor(const std::string& name) const;
};

// Parses argv (without the program name): first the file of --config, if
// one is given, then the command line, which wins. Returns false with
// *error set (one line).
bool ParseOptions(int argc, char** argv, Options* options, std::string* error);

// Reads a configuration file ("key = value" lines; "#" starts a comment;
// a key is an option's long name without "--"; flags take yes or no).
bool ReadConfigFile(const std::string& path, Options* options, std::string* error);

// The options as a configuration file that reads back to the same options.
std::string ConfigText(const Options& options);

extern const char kUsage[];
extern const char kPackageVersion[];

}  // namespace velsrv

#endif
