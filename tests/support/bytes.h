// Little-endian byte helpers for building and reading frames in tests.
#ifndef VELORA_TESTS_SUPPORT_BYTES_H
#define VELORA_TESTS_SUPPORT_BYTES_H

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>

inline std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

// "0c 00 'ab'": hex bytes separated by blanks; 'text' stands for its bytes.
inline std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
    } else if (hex[i] == '\'') {
      size_t end = hex.find('\'', i + 1);
      out += hex.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      out.push_back(static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16)));
      i += 2;
    }
  }
  return out;
}

inline std::string U16(uint16_t v) { return Bytes({v & 0xFF, v >> 8}); }

inline std::string U32(uint32_t v) { return U16(static_cast<uint16_t>(v)) + U16(static_cast<uint16_t>(v >> 16)); }

// A string element: 16-bit length, then the bytes.
inline std::string Text16(const std::string& text) { return U16(static_cast<uint16_t>(text.size())) + text; }

// A reply frame: 4-byte length, then the body.
inline std::string ReplyFrame(const std::string& body) { return U32(static_cast<uint32_t>(body.size())) + body; }

#endif
