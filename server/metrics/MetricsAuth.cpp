// The secret file, its Authorization header and its constant-time check.
#include "server/metrics/MetricsAuth.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <strings.h>

#include <fstream>

namespace velsrv {

namespace {

bool Split(const std::string& setting, std::string* scheme, std::string* file, std::string* error) {
  const size_t colon = setting.find(':');
  const std::string kind = setting.substr(0, colon == std::string::npos ? 0 : colon);
  if (colon == std::string::npos || colon + 1 == setting.size() ||
      (kind != "bearer" && kind != "basic"))
    return *error = "needs bearer:FILE or basic:FILE, not \"" + setting + "\"", false;
  *scheme = kind == "bearer" ? "Bearer" : "Basic";
  *file = setting.substr(colon + 1);
  return true;
}

void Digest(const std::string& text, unsigned char out[32]) {
  unsigned int size = 32;
  EVP_Digest(text.data(), text.size(), out, &size, EVP_sha256(), nullptr);
}

}  // namespace

bool ValidMetricsAuth(const std::string& setting, std::string* error) {
  std::string scheme, file;
  return Split(setting, &scheme, &file, error);
}

bool MetricsAuthorization(const std::string& setting, std::string* header, std::string* error) {
  std::string scheme, file, line;
  if (!Split(setting, &scheme, &file, error)) return false;
  std::ifstream in(file);
  if (!in || !std::getline(in, line))
    return *error = "cannot read the metrics secret " + file, false;
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
    line.pop_back();
  for (unsigned char c : line)
    if (c <= ' ' || c == 0x7F)
      return *error = "the metrics secret in " + file + " has a space or control character", false;
  if (line.empty()) return *error = "the metrics secret in " + file + " is empty", false;
  if (scheme == "Bearer") return *header = "Bearer " + line, true;
  if (line.find(':') == 0 || line.find(':') == std::string::npos)
    return *error = "basic needs USER:PASSWORD in " + file, false;
  std::string encoded(4 * ((line.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&encoded[0]),
                                reinterpret_cast<const unsigned char*>(line.data()),
                                static_cast<int>(line.size()));
  encoded.resize(n < 0 ? 0 : static_cast<size_t>(n));
  *header = "Basic " + encoded;
  return true;
}

bool MetricsCredentials::Load(const std::string& setting, std::string* error) {
  if (setting.empty()) {
    scheme_.clear();
    return true;
  }
  std::string header;
  if (!MetricsAuthorization(setting, &header, error)) return false;
  const size_t space = header.find(' ');
  scheme_ = header.substr(0, space);
  Digest(header.substr(space + 1), digest_);
  return true;
}

bool MetricsCredentials::Accepts(const std::string& header) const {
  if (scheme_.empty()) return true;
  size_t space = header.find(' ');
  const std::string scheme = header.substr(0, space);
  space = header.find_first_not_of(' ', space);
  unsigned char given[32];
  Digest(space == std::string::npos ? "" : header.substr(space), given);
  // The scheme's name is no secret; HTTP compares it without case.
  const bool sameScheme = strcasecmp(scheme.c_str(), scheme_.c_str()) == 0;
  return (CRYPTO_memcmp(given, digest_, sizeof given) == 0) & sameScheme;
}

std::string MetricsCredentials::Challenge() const {
  return scheme_ + " realm=\"velora-server metrics\"" +
         (scheme_ == "Basic" ? ", charset=\"UTF-8\"" : "");
}

}  // namespace velsrv
