// The export table of this library, asked by name: SQLGetFunctions reports
// a function as supported when the library exports it, so the answer
// follows the export list. One source file per system.
#ifndef VELORA_ODBC3_OWNEXPORTS_H
#define VELORA_ODBC3_OWNEXPORTS_H

class OwnExports {
 public:
  OwnExports();
  ~OwnExports();
  OwnExports(const OwnExports&) = delete;
  OwnExports& operator=(const OwnExports&) = delete;

  // False for every name when the library could not be found.
  bool Has(const char* name) const;

 private:
  void* library_;
};

#endif
