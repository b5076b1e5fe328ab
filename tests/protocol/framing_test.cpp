// The greeting block at its limits (the frame headers and the greeting's
// status travel byte for byte in every scripted-server test).
#include <gtest/gtest.h>

#include <string>

#include "protocol/Framing.h"

namespace {

std::string Bytes(const uint8_t* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

TEST(Framing, GreetingFillsTheBlockOrRefusesText) {
  uint8_t block[kGreetingSize];
  ASSERT_TRUE(EncodeGreeting("WIN32", "iso8859-1", block));
  EXPECT_EQ(Bytes(block, kGreetingSize), ("L\x06 WIN32 iso8859-1" + std::string(80, '\0')).substr(0, 80));
  const char* text = nullptr;
  size_t length = 0;
  ASSERT_EQ(DecodeGreeting(block, &text, &length), kGreetingAccepted);
  EXPECT_EQ(std::string(text, length), "WIN32 iso8859-1");
  // The text may fill the block to its last byte, and not one byte more.
  const std::string platform(80 - 4 - 9, 'P');
  ASSERT_TRUE(EncodeGreeting(platform.c_str(), "iso8859-1", block));
  ASSERT_EQ(DecodeGreeting(block, &text, &length), kGreetingAccepted);
  EXPECT_EQ(length, 77u);
  EXPECT_FALSE(EncodeGreeting((platform + "P").c_str(), "iso8859-1", block));
}

}  // namespace
