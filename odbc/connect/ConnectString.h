// Reading a SQLDriverConnect connection string (also a SQLConfigDataSource
// attribute) and handing texts back to an application's output buffer.
#ifndef VELORA_ODBC_CONNECT_CONNECTSTRING_H
#define VELORA_ODBC_CONNECT_CONNECTSTRING_H

#include <cstdint>

class String;

// One key=value pair as it stands in the text: the key without the spaces
// around it, the value without its braces (a braced value still holds
// "}}" for each "}").
struct ConnectPair {
  const char* key;
  uint32_t keyLength;
  const char* value;
  uint32_t valueLength;
  bool braced;
};

// Reads the pair at *at of text (pairs separated by ";") and moves *at
// past it. A value in braces may hold ";" and "="; an unclosed brace runs
// to the end of text. Parts without "=" or with an empty key are skipped.
// Returns false at the end of text.
bool NextConnectPair(const char* text, uint32_t length, uint32_t* at, ConnectPair* pair);

// Finds the first pair whose key is key (its name without "=", e.g.
// "DSN") in any letter case; false when no pair has it.
bool FindConnectKey(const char* text, uint32_t length, const char* key, ConnectPair* pair);

// Copies pair's value ("}}" read as "}") into buffer, at most size - 1
// characters and a NUL (size above 0).
void CopyPairValue(const ConnectPair& pair, char* buffer, uint32_t size);

// Copies the value of key into buffer as CopyPairValue; returns false
// (buffer untouched) when the key does not occur.
bool CopyConnectValue(const char* text, uint32_t length, const char* key, char* buffer,
                      uint32_t size);

// Sets out to the value of pair; 0 when memory runs out.
int SetPairValue(const ConnectPair& pair, String* out);

// Appends ";key=value" to out (no ";" when out is empty), the value in
// braces (each "}" doubled) when it holds a character the grammar gives a
// meaning, or spaces at its ends, or braces is true. 0 when memory runs
// out.
int AppendConnectPair(String* out, const char* key, const char* value, bool braces = false);

// Sets out to text with the value of every PWD pair (any letter case,
// braced or not) written as "****", for traces. 0 when memory runs out.
int SetMaskedConnectString(const char* text, uint32_t length, String* out);

// Traces head and then text, masked so, in brackets (at trace level A2).
void TraceMaskedConnectString(const char* head, const char* text, uint32_t length);

// Copies length characters of text into an application buffer of size
// bytes. Returns true when the whole text and its NUL fit (length < size);
// otherwise copies size - 1 characters and a NUL when buffer is not null
// and size is above 0, and returns false (the caller posts "01004").
bool CopyOutput(const char* text, uint32_t length, char* buffer, long size);

#endif
