// Reading a SQLDriverConnect connection string and handing texts back to
// an application's output buffer.
#ifndef VELORA_ODBC_CONNECTSTRING_H
#define VELORA_ODBC_CONNECTSTRING_H

#include <cstdint>

// Finds key (its text including the "=", e.g. "DSN=") as the first
// occurrence anywhere in text, letter case significant: a key named MyDSN
// also answers "DSN=". The value runs from after the "=" to the next ";"
// or the end of text. Returns false when the key does not occur.
bool FindConnectKey(const char* text, uint32_t length, const char* key, const char** value,
                    uint32_t* valueLength);

// The same with the key's letter case ignored.
bool FindConnectKeyAnyCase(const char* text, uint32_t length, const char* key, const char** value,
                           uint32_t* valueLength);

// Copies the value of key into buffer, at most size - 1 characters and a
// NUL; returns false (buffer untouched) when the key does not occur.
bool CopyConnectValue(const char* text, uint32_t length, const char* key, char* buffer,
                      uint32_t size);

// Copies length characters of text into an application buffer of size
// bytes. Returns true when the whole text and its NUL fit (length < size);
// otherwise copies size - 1 characters and a NUL when buffer is not null
// and size is above 0, and returns false (the caller posts "01004").
bool CopyOutput(const char* text, uint32_t length, char* buffer, long size);

#endif
