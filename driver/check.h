// Internal consistency checks: they guard programming errors, never input.
// A failed check reports the expression, the module and the line to the
// trace and to standard error, and stops the process.
#ifndef VELORA_DRIVER_CHECK_H
#define VELORA_DRIVER_CHECK_H

[[noreturn]] void CheckFailed(const char* expression, const char* module, int line);

#define VEL_CHECK(expr, module) \
  ((expr) ? static_cast<void>(0) : CheckFailed(#expr, module, __LINE__))
// For checks whose reported text differs from the C++ expression.
#define VEL_CHECK_TEXT(expr, text, module) \
  ((expr) ? static_cast<void>(0) : CheckFailed(text, module, __LINE__))

#endif
