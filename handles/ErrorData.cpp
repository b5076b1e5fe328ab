// Setting up, posting and taking diagnostic records.
#include "handles/ErrorData.h"

#include <new>

#include "base/Trace.h"
#include "handles/ClientDiagnostics.h"

namespace {

const char* Shown(const char* text) { return text != nullptr ? text : ""; }
const char* Shown(const String& text) { return text.TextOrEmpty(); }

// Both forms of Setup: the trace line names the form ("pNC" for C strings,
// "String" for values read from a reply).
template <class Text>
bool SetUp(ErrorData* record, const char* form, int32_t source, int32_t native, const Text& state,
           const Text& message, const Text& module, int32_t line) {
  Trace('P', 2,
        "ErrorData::Setup (%s): \n     Source=%d, Codes=%d, State=%s, Text=%s, File=%s, Line=%d",
        form, source, native, Shown(state), Shown(message), Shown(module), line);
  record->source = source;
  record->native = native;
  if (!record->sqlstate.SetString(state) || !record->text.SetString(message) ||
      !record->file.SetString(module)) {
    return false;
  }
  record->line = line;
  return true;
}

}  // namespace

bool ErrorData::Setup(int32_t sourceValue, int32_t nativeCode, const char* state,
                      const char* message, const char* module, int32_t lineNumber) {
  return SetUp(this, "pNC", sourceValue, nativeCode, state, message, module, lineNumber);
}

bool ErrorData::Setup(int32_t sourceValue, int32_t nativeCode, const String& state,
                      const String& message, const String& module, int32_t lineNumber) {
  return SetUp(this, "String", sourceValue, nativeCode, state, message, module, lineNumber);
}

bool ErrorList::Reserve() {
  keepsSpare_ = true;
  if (spare_ != nullptr) return true;
  ErrorData* record = new (std::nothrow) ErrorData;
  if (record == nullptr || !record->Setup(kSourceClient, kDiagMemory.native, kDiagMemory.sqlstate,
                                          kDiagMemory.text, VEL_MODULE, __LINE__)) {
    delete record;
    return false;
  }
  spare_ = record;
  return true;
}

int ErrorList::Post(int rc, int32_t native, const char* sqlstate, const char* text,
                    const char* file, int32_t line) {
  ErrorData* record = new (std::nothrow) ErrorData;
  if (record == nullptr || !record->Setup(kSourceClient, native, sqlstate, text, file, line)) {
    delete record;
    if (spare_ != nullptr) Append(spare_);
    spare_ = nullptr;
    return rc;
  }
  Append(record);
  if (keepsSpare_ && spare_ == nullptr) Reserve();
  return rc;
}

ErrorData* ErrorList::TakeLast() {
  ErrorData* record = Tail();
  if (record != nullptr) Unlink(record);
  return record;
}
