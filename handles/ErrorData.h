// Diagnostic records: one ErrorData per failure or warning, queued on the
// ErrorList of the handle object that the call names.
#ifndef VELORA_HANDLES_ERRORDATA_H
#define VELORA_HANDLES_ERRORDATA_H

#include <cstdint>

#include "base/LinkedList.h"
#include "base/Check.h"
#include "base/String.h"

enum : int32_t {
  kSourceClient = 1,  // posted by the driver
  kSourceServer = 2,  // fetched from the server
};

class ErrorData : public ListItem {
 public:
  ErrorData() = default;
  ~ErrorData() override = default;

  // Client form. Traces the record (P, 2), then stores it; the strings lose
  // their trailing blanks. False when a string cannot be stored.
  bool Setup(int32_t source, int32_t native, const char* sqlstate, const char* text,
             const char* file, int32_t line);
  // Server form: the same with the values read from a reply.
  bool Setup(int32_t source, int32_t native, const String& sqlstate, const String& text,
             const String& file, int32_t line);

  int32_t source = 0;
  int32_t native = 0;
  String sqlstate;
  String text;
  String file;
  int32_t line = 0;
  // The parameter set (from 1) of an array whose execution gave the
  // record; 0 when the record is not about one set.
  int32_t row = 0;
  // The column (from 1) whose value the record concerns; 0 for none.
  int32_t column = 0;
};

// Each handle's list holds a spare "S1001" record, made when the handle
// is (Reserve), so that a failure is never left without a record for want
// of memory.
class ErrorList : public TypedList<ErrorData> {
 public:
  ~ErrorList() override { delete spare_; }

  // Makes the spare record unless there is one; false when memory runs out.
  bool Reserve();
  // Creates a client record (source 1) and appends it. Returns rc in every
  // case; when the record cannot be created or set up the spare is queued
  // in its place (nothing without one), and made again by the next post
  // that finds memory.
  int Post(int rc, int32_t native, const char* sqlstate, const char* text, const char* file,
           int32_t line);
  // Unlinks the newest record without deleting it; null when empty.
  ErrorData* TakeLast();

 private:
  ErrorData* spare_ = nullptr;
  bool keepsSpare_ = false;  // Reserve was called: the spare is made again
};

// Posts a client record on a handle object (Environment, Connection or
// Statement) with the file and line of the posting site; evaluates to rc.
#define VEL_POST_ERROR(object, rc, native, sqlstate, text) \
  ((object)->PostError((rc), (native), (sqlstate), (text), VEL_MODULE, __LINE__))

#endif
