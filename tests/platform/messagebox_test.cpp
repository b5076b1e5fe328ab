// Message boxes without a windowing system: one line on standard error,
// or the installed sink.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/MessageBox.h"
#include "support/capture.h"

namespace {

// What one box shows on standard error without a sink.
std::string ShownOnStandardError(const char* text, const char* caption, unsigned flags) {
  std::fflush(stderr);
  FILE* file = std::tmpfile();
  int saved = dup(fileno(stderr));
  dup2(fileno(file), fileno(stderr));
  int button = VelMessageBox(nullptr, text, caption, flags);
  std::fflush(stderr);
  dup2(saved, fileno(stderr));
  close(saved);
  std::rewind(file);
  char buf[256] = {};
  size_t n = std::fread(buf, 1, sizeof buf - 1, file);
  std::fclose(file);
  return std::to_string(button) + ":" + std::string(buf, n);
}

TEST(MessageBoxTest, DefaultIsOneLineOnStandardError) {
  EXPECT_EQ("1:VELODBC: Receive failed. errno 10054: [10054] Connection reset by peer\n",
            ShownOnStandardError("Receive failed.\nerrno 10054: [10054] Connection reset by peer",
                                 "VELODBC", VEL_MB_OK | VEL_MB_ICONSTOP));
}

TEST(MessageBoxTest, SinkCapturesUntilRemoved) {
  {
    BoxCapture boxes;
    VelMessageBox(nullptr, "text", "caption", VEL_MB_OK);
    ASSERT_EQ(1u, boxes.texts.size());
    EXPECT_EQ("caption", boxes.captions[0]);
    EXPECT_EQ("text", boxes.texts[0]);
  }
  // Removed: a null text and caption are shown as empty, not dereferenced.
  EXPECT_EQ("1:: \n", ShownOnStandardError(nullptr, nullptr, VEL_MB_OK));
}

}  // namespace
