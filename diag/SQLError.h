// SQLError's process-wide diagnostic-detail switch.
#ifndef VELORA_DIAG_SQLERROR_H
#define VELORA_DIAG_SQLERROR_H

// The switch, read from key "Debug" of section "Debug" of "velodbc.ini" at
// the first SQLError of the process (negative values count as 1). While it
// is on, messages end with the record's file and line.
int DiagnosticDetail();
// Test seam: the next SQLError reads the switch again.
void ForgetDiagnosticDetail();

#endif
