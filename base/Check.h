// Internal consistency checks: they guard programming errors, never input.
// A failed check reports the expression, the module and the line to the
// trace and to standard error, and stops the process.
#ifndef VELORA_BASE_CHECK_H
#define VELORA_BASE_CHECK_H

[[noreturn]] void CheckFailed(const char* expression, const char* module, int line);

// The name of a source file without its directories: the module that
// consistency checks and diagnostic records name.
constexpr const char* VelBaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') base = p + 1;
  }
  return base;
}
#define VEL_MODULE VelBaseName(__FILE__)

#define VEL_CHECK(expr, module) \
  ((expr) ? static_cast<void>(0) : CheckFailed(#expr, module, __LINE__))
// For checks whose reported text differs from the C++ expression.
#define VEL_CHECK_TEXT(expr, text, module) \
  ((expr) ? static_cast<void>(0) : CheckFailed(text, module, __LINE__))

#endif
