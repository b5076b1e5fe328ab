// Setting up, posting and taking diagnostic records.
#include "diag/ErrorData.h"

#include <new>

#include "driver/trace.h"

int ErrorData::Setup(int32_t sourceValue, int32_t nativeCode, const char* state, const char* message,
                     const char* module, int32_t lineNumber) {
  Trace('P', 2,
        "ErrorData::Setup (pNC): \n     Source=%d, Codes=%d, State=%s, Text=%s, File=%s, Line=%d",
        sourceValue, nativeCode, state ? state : "", message ? message : "", module ? module : "",
        lineNumber);
  source = sourceValue;
  native = nativeCode;
  if (!sqlstate.SetString(state) || !text.SetString(message) || !file.SetString(module)) return 0;
  line = lineNumber;
  return 1;
}

int ErrorData::Setup(int32_t sourceValue, int32_t nativeCode, const String& state,
                     const String& message, const String& module, int32_t lineNumber) {
  Trace('P', 2,
        "ErrorData::Setup (String): \n     Source=%d, Codes=%d, State=%s, Text=%s, File=%s, "
        "Line=%d",
        sourceValue, nativeCode, state.TextOrEmpty(), message.TextOrEmpty(), module.TextOrEmpty(),
        lineNumber);
  source = sourceValue;
  native = nativeCode;
  if (!sqlstate.SetString(state) || !text.SetString(message) || !file.SetString(module)) return 0;
  line = lineNumber;
  return 1;
}

int ErrorList::Post(int rc, int32_t native, const char* sqlstate, const char* text,
                    const char* file, int32_t line) {
  ErrorData* record = new (std::nothrow) ErrorData;
  if (record == nullptr) return rc;
  if (!record->Setup(VEL_SOURCE_CLIENT, native, sqlstate, text, file, line)) {
    delete record;
    return rc;
  }
  Append(record);
  return rc;
}

ErrorData* ErrorList::TakeLast() {
  ErrorData* record = Tail();
  if (record != nullptr) Unlink(record);
  return record;
}
