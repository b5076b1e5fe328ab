// The descriptor functions' workers: allocation and freeing of explicit
// descriptors, their fields and records, and copying. Each posts its
// diagnostics on the descriptor of the call (on the connection for the
// allocation). Texts (SQL_DESC_NAME) are UTF-8.
#ifndef VELORA_ODBC_DESCRIPTORS_DESCRIPTORS_H
#define VELORA_ODBC_DESCRIPTORS_DESCRIPTORS_H

#include <sql.h>

#include <cstdint>

class Connection;
class Descriptor;

// SQLAllocHandle(SQL_HANDLE_DESC): an explicit application descriptor of
// c, usable as the row or parameter descriptor of c's statements.
// SQL_DESC_TYPE of a concise type: the date and time types (ODBC 2 or 3
// codes) are SQL_DATETIME, with their SQL_DESC_DATETIME_INTERVAL_CODE
// (0 for every other type).
SQLSMALLINT VerboseType(SQLSMALLINT concise);
SQLSMALLINT DateTimeIntervalCode(SQLSMALLINT concise);
// SQL_DESC_DATETIME_INTERVAL_PRECISION (leading) or SQL_DESC_PRECISION
// (seconds: 0 without them) of an interval type of column size size and
// decimal digits digits; false for other types. The column size is the
// literal's characters: the leading digits, three for each further field,
// a point and the digits of a fraction.
bool IntervalPrecision(SQLSMALLINT type, SQLLEN size, SQLLEN digits, SQLSMALLINT field,
                       SQLLEN* value);

int AllocDescWorker(Connection* c, SQLHDESC* phdesc);
// Only explicit descriptors are freed ("HY017" for a statement's own);
// the statements using it go back to their own.
int FreeDescWorker(Descriptor* d);

// Negative record numbers are "07009", and record 0 (bookmarks) of an
// implementation descriptor or, set, of the statement's own parameter
// descriptor; a record above SQL_DESC_COUNT reads as SQL_NO_DATA_FOUND.
// An unknown field, or one the descriptor does not have, is "HY091"; the
// implementation row descriptor's record fields are read-only ("HY016")
// and answer what SQLColAttribute answers. Setting an application
// record's field other than its three pointers unbinds it; binding a
// record (giving SQL_DESC_DATA_PTR) checks it ("HY021") and binds its
// column or parameter exactly as SQLBindCol and SQLBindParameter do.
// Raising SQL_DESC_COUNT adds unbound records, lowering it drops them.
int GetDescFieldWorker(Descriptor* d, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                       SQLINTEGER bufferLength, SQLINTEGER* stringLength);
// A text field of record rec (UTF-8, "" when there is none; null when the
// field is no text field) as *text and *length, checked as GetDescFieldWorker checks it, for the
// narrow and wide-character forms; valid until the record changes.
int GetDescTextWorker(Descriptor* d, SQLSMALLINT rec, SQLSMALLINT field, const char** text,
                      uint32_t* length);
int SetDescFieldWorker(Descriptor* d, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                       SQLINTEGER bufferLength);
int GetDescRecWorker(Descriptor* d, SQLSMALLINT rec, SQLCHAR* name, SQLSMALLINT bufferLength,
                     SQLSMALLINT* stringLength, SQLSMALLINT* type, SQLSMALLINT* subType,
                     SQLLEN* length, SQLSMALLINT* precision, SQLSMALLINT* scale,
                     SQLSMALLINT* nullable);
int SetDescRecWorker(Descriptor* d, SQLSMALLINT rec, SQLSMALLINT type, SQLSMALLINT subType,
                     SQLLEN length, SQLSMALLINT precision, SQLSMALLINT scale, SQLPOINTER data,
                     SQLLEN* stringLength, SQLLEN* indicator);
// Copies every field but SQL_DESC_ALLOC_TYPE; an implementation row
// descriptor cannot be the target ("HY016"). Diagnostics go on target.
int CopyDescWorker(Descriptor* source, Descriptor* target);

#endif
