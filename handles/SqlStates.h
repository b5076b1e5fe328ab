// The SQLSTATEs of ODBC 2.x and their ODBC 3.x counterparts: records are
// posted in either form and handed to the application in the form its
// environment declared.
#ifndef VELORA_HANDLES_SQLSTATES_H
#define VELORA_HANDLES_SQLSTATES_H

// state as an application of the given ODBC version reads it: for 3 (and
// later) the 3.x form of a 2.x state, for 2 the 2.x form of a 3.x state;
// a state without a counterpart is itself. Never null for a non-null state.
const char* SqlStateFor(const char* state, bool odbc3);

#endif
