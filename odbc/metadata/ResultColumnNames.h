// The catalog and type-information result sets as an ODBC 3 application
// sees them: the server describes them with ODBC 2 column names and type
// codes, and the driver renames and recodes them on receipt.
#ifndef VELORA_ODBC_METADATA_RESULTCOLUMNNAMES_H
#define VELORA_ODBC_METADATA_RESULTCOLUMNNAMES_H

class Statement;

// When s's environment declared ODBC 3: renames the columns of s's result
// set that have ODBC 3 names (TABLE_QUALIFIER as TABLE_CAT, PRECISION as
// COLUMN_SIZE, ...) and makes its DATA_TYPE column answer the ODBC 3 date
// and time codes. Otherwise changes nothing. SQL_SUCCESS, or SQL_ERROR with
// "S1001" posted.
int UseOdbc3CatalogNames(Statement* s);

#endif
