// The fixed parts of the wire: greeting block, its status, frame headers.
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

TEST(Framing, HeadersAndStatusAreLittleEndian) {
  uint8_t request[kRequestHeaderSize], reply[kReplyHeaderSize], status[kGreetingStatusSize];
  EncodeRequestHeader(0x04030201u, 0x0605, request);
  EXPECT_EQ(Bytes(request, sizeof request), "\x01\x02\x03\x04\x05\x06");
  uint32_t length = 0;
  uint16_t code = 0;
  DecodeRequestHeader(request, &length, &code);
  EXPECT_EQ(length, 0x04030201u);
  EXPECT_EQ(code, 0x0605);
  EncodeReplyHeader(0xFFFFFFFEu, reply);
  EXPECT_EQ(Bytes(reply, sizeof reply), "\xFE\xFF\xFF\xFF");
  EXPECT_EQ(DecodeReplyHeader(reply), 0xFFFFFFFEu);
  EncodeGreetingStatus(kGreetingNeedsTls, status);
  EXPECT_EQ(Bytes(status, sizeof status), std::string("\x05\x00", 2));
  EXPECT_EQ(DecodeGreetingStatus(status), kGreetingNeedsTls);
}

}  // namespace
