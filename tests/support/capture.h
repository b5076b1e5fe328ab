// Test doubles shared by the driver's unit tests: a trace file read back as
// text, captured message boxes, and a settings file for one test.
#ifndef VELORA_TESTS_SUPPORT_CAPTURE_H
#define VELORA_TESTS_SUPPORT_CAPTURE_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Trace.h"
#include "platform/MessageBox.h"

// Installs a temporary trace file with a mode; Text() reads it back through
// its own descriptor (also after CloseTrace). Text() never flushes: what it
// sees is what the trace itself has written out.
class TraceCapture {
 public:
  explicit TraceCapture(const char* mode) : file_(std::tmpfile()), reader_(fdopen(dup(fileno(file_)), "r")) {
    SetTraceMode(mode, file_);
  }
  ~TraceCapture() { SetTraceMode("", nullptr), std::fclose(reader_); }
  std::string Text() {
    std::string out;
    std::rewind(reader_);
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, reader_)) > 0;) out.append(buf, n);
    return out;
  }
  // What follows the header (everything when there is none).
  std::string Body() {
    std::string out = Text();
    size_t header = out.find("]\n\n");
    return header == std::string::npos ? out : out.substr(header + 3);
  }
  // "(  pid) L<level>: text\n", the form of one trace line.
  static std::string Line(char letter, int level, const std::string& text) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "(%5d) %c%d: ", static_cast<int>(getpid()), letter, level);
    return prefix + text + "\n";
  }
  bool Has(char letter, int level, const std::string& text) {
    return Text().find(Line(letter, level, text)) != std::string::npos;
  }

 private:
  FILE *file_, *reader_;
};

// Captures message boxes while it lives.
struct BoxCapture {
  BoxCapture() { SetMessageBoxSink(&BoxCapture::Sink, this); }
  ~BoxCapture() { SetMessageBoxSink(nullptr, nullptr); }
  static void Sink(void* self, const char* caption, const char* text, unsigned) {
    static_cast<BoxCapture*>(self)->captions.push_back(caption);
    static_cast<BoxCapture*>(self)->texts.push_back(text);
  }
  std::vector<std::string> texts, captions;
};

// Writes a "velodbc.ini" for this test and points VELODBC_INI at it.
class SettingsFile {
 public:
  explicit SettingsFile(const std::string& content) {
    char name[] = "/tmp/velodbc-test-XXXXXX";
    int fd = mkstemp(name);
    path_ = name;
    if (fd >= 0 && write(fd, content.data(), content.size()) >= 0) close(fd);
    setenv("VELODBC_INI", name, 1);
  }
  ~SettingsFile() { unsetenv("VELODBC_INI"), unlink(path_.c_str()); }

 private:
  std::string path_;
};

#endif
