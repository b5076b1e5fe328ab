// Small text helpers shared by the server's parsers: upper-casing and
// trimming of blanks.
#ifndef VELORA_SERVER_TEXTCASE_H
#define VELORA_SERVER_TEXTCASE_H

#include <cctype>
#include <string>

namespace velsrv {

// s with every letter in upper case (byte by byte, C locale).
inline std::string Upper(const std::string& s) {
  std::string out;
  for (char c : s) out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// s without leading and trailing blanks, tabs and line ends.
inline std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

}  // namespace velsrv

#endif
