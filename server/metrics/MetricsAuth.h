// The metrics endpoint's optional authentication (--metrics-auth): a bearer
// token or a basic user and password, read from a file so that the secret
// is not on a command line, where every local user can read it.
#ifndef VELORA_SERVER_METRICS_METRICSAUTH_H
#define VELORA_SERVER_METRICS_METRICSAUTH_H

#include <string>

namespace velsrv {

// Checks the form of a --metrics-auth value, "bearer:FILE" or
// "basic:FILE" (the file is not read); false with *error.
bool ValidMetricsAuth(const std::string& setting, std::string* error);

// Reads the file of a --metrics-auth value: its first line is the token
// (bearer) or "USER:PASSWORD" (basic). *header: the Authorization value a
// scraper sends, "Bearer TOKEN" or "Basic BASE64". False with *error.
bool MetricsAuthorization(const std::string& setting, std::string* header, std::string* error);

class MetricsCredentials {
 public:
  // Reads the secret of setting; an empty setting asks for none. False with
  // *error, keeping what was loaded before.
  bool Load(const std::string& setting, std::string* error);
  bool Asked() const { return !scheme_.empty(); }
  // Whether an Authorization header's value carries the secret. Both are
  // hashed and the hashes compared in constant time: neither the time nor
  // the length compared tells how much of a guess was right.
  bool Accepts(const std::string& header) const;
  // The WWW-Authenticate value of a 401 answer.
  std::string Challenge() const;

 private:
  std::string scheme_;  // "Bearer" or "Basic"; empty: none asked
  unsigned char digest_[32] = {};
};

}  // namespace velsrv

#endif
