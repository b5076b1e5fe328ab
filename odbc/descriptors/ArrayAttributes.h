// The statement attributes of row and parameter arrays and of the four
// descriptor handles: the header fields of the statement's descriptors
// (handles/Descriptor.h) and the association of explicit ones. The
// statement-attribute workers ask these first.
#ifndef VELORA_ODBC_DESCRIPTORS_ARRAYATTRIBUTES_H
#define VELORA_ODBC_DESCRIPTORS_ARRAYATTRIBUTES_H

#include <sql.h>

class Statement;

// *handled false (nothing done, SQL_SUCCESS) for any other attribute.
// Setting: SQL_ATTR_ROW_ARRAY_SIZE or SQL_ATTR_PARAMSET_SIZE 0 is refused
// ("S1009"); SQL_ATTR_APP_ROW_DESC and SQL_ATTR_APP_PARAM_DESC take an
// explicit descriptor of the statement's connection (SQL_NULL_HDESC: the
// statement's own again; a statement's own descriptor "HY017", anything
// else "S1009"); the implementation descriptors cannot be set ("HY017").
int SetArrayAttrWorker(Statement* s, SQLINTEGER attribute, SQLPOINTER value, bool* handled);
// Writes an SQLULEN, a pointer or a descriptor handle at value (when not
// null) and its size in *length (when not null).
int GetArrayAttrWorker(Statement* s, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER* length,
                       bool* handled);

#endif
