// Message boxes without a windowing system: one line on standard error,
// or the installed sink.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/messagebox.h"
#include "support/capture.h"

namespace {

TEST(MessageBoxTest, DefaultIsOneLineOnStandardError) {
  std::fflush(stderr);
  FILE* file = std::tmpfile();
  int saved = dup(fileno(stderr));
  dup2(fileno(file), fileno(stderr));
  EXPECT_EQ(1, VelMessageBox(nullptr, "Receive failed.\nerrno 10054: [10054] Connection reset by peer",
                             "VELODBC", VEL_MB_OK | VEL_MB_ICONSTOP));
  std::fflush(stderr);
  dup2(saved, fileno(stderr));
  close(saved);
  std::rewind(file);
  char buf[256] = {};
  size_t n = std::fread(buf, 1, sizeof buf - 1, file);
  std::fclose(file);
  EXPECT_EQ("VELODBC: Receive failed. errno 10054: [10054] Connection reset by peer\n",
            std::string(buf, n));
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
  std::fflush(stderr);
  FILE* file = std::tmpfile();
  int saved = dup(fileno(stderr));
  dup2(fileno(file), fileno(stderr));
  VelMessageBox(nullptr, nullptr, nullptr, VEL_MB_OK);
  std::fflush(stderr);
  dup2(saved, fileno(stderr));
  close(saved);
  std::rewind(file);
  char buf[64] = {};
  size_t n = std::fread(buf, 1, sizeof buf - 1, file);
  std::fclose(file);
  EXPECT_EQ(": \n", std::string(buf, n));
}

}  // namespace
