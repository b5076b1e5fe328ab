// A scratch file of the driver's own: made in the system's temporary
// folder (TMPDIR, else /tmp; on Windows the user's temporary folder),
// readable by its owner only, and gone when closed or when the process
// ends, whatever way it ends (on POSIX its name is removed as soon as it
// is made; on Windows the system deletes it when it is closed).
#ifndef VELORA_BASE_TEMPFILE_H
#define VELORA_BASE_TEMPFILE_H

#include <cstdint>

class TempFile {
 public:
  TempFile() = default;
  ~TempFile() { Close(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Makes the file; false when it cannot be made.
  [[nodiscard]] bool Open();
  bool IsOpen() const { return handle_ != kNone; }
  // Writes or reads length bytes at offset; false unless all of them moved.
  [[nodiscard]] bool WriteAt(uint64_t offset, const void* bytes, uint32_t length);
  [[nodiscard]] bool ReadAt(uint64_t offset, void* bytes, uint32_t length);
  void Close();

 private:
  static constexpr intptr_t kNone = -1;
  intptr_t handle_ = kNone;  // a descriptor, or a Windows HANDLE
};

#endif
