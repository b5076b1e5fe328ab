// Message boxes without a windowing system: one line on standard error,
// or the installed sink.
#include <gtest/gtest.h>

#include "support/capture.h"

namespace {

// The button and what one box shows on standard error without a sink.
std::string ShownOnStandardError(const char* text, const char* caption) {
  std::fflush(stderr);
  FILE* file = std::tmpfile();
  int saved = dup(fileno(stderr));
  dup2(fileno(file), fileno(stderr));
  int button = VelMessageBox(nullptr, text, caption, VEL_MB_OK | VEL_MB_ICONSTOP);
  std::fflush(stderr);
  dup2(saved, fileno(stderr));
  close(saved);
  std::rewind(file);
  char buf[256] = {};
  std::string shown(buf, std::fread(buf, 1, sizeof buf - 1, file));
  std::fclose(file);
  return std::to_string(button) + ":" + shown;
}

TEST(MessageBoxTest, OneLineOnStandardErrorUnlessASinkIsInstalled) {
  EXPECT_EQ("1:VELODBC: Receive failed. errno 10054: [10054] Connection reset by peer\n",
            ShownOnStandardError("Receive failed.\nerrno 10054: [10054] Connection reset by peer",
                                 "VELODBC"));
  {
    BoxCapture boxes;
    EXPECT_EQ("1:", ShownOnStandardError("text", "caption"));
    EXPECT_EQ(std::vector<std::string>{"caption"}, boxes.captions);
    EXPECT_EQ(std::vector<std::string>{"text"}, boxes.texts);
  }
  // Removed: a null text and caption are shown as empty, not dereferenced.
  EXPECT_EQ("1:: \n", ShownOnStandardError(nullptr, nullptr));
}

}  // namespace
