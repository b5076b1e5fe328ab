// The one description of every message's element sequences, as data.
#include "protocol/Catalog.h"

namespace {

constexpr int8_t E = MessageLayout::kEnd;

// Element numbers, from the element name table.
enum : int8_t {
  accessMode = 0,
  autocommitMode = 1,
  accuracy = 2,
  bookmarkUseOption = 4,
  columnName = 5,
  columnNumber = 6,
  columnNumberVector = 7,
  concurrencyOption = 8,
  cursorName = 10,
  cursorTypeOption = 11,
  errorCode = 13,
  errorText = 14,
  fetchData = 15,
  fetchDataSet = 16,
  fileName = 18,
  freeOption = 19,
  indexType = 20,
  lineNumber = 23,
  maxLength = 24,
  maxRows = 25,
  nativeLengthValues = 27,
  noscanOption = 28,
  numberOfRows = 31,
  nullability = 33,
  parameterDataSetElement = 35,
  password = 37,
  resultSetDescription = 39,
  retrieveDataOption = 40,
  rowNumber = 42,
  rowsetSize = 43,
  specialColumnScope = 45,
  specialColumnType = 46,
  sqlDataType = 47,
  sqlstate = 48,
  statement = 49,
  statementId = 50,
  tableName = 52,
  tableOwner = 53,
  tableQualifier = 54,
  tableType = 55,
  transactionIsolationLevel = 56,
  transactionType = 57,
  userName = 59,
  versionElement = 60,
  dataSource = 61,
};

const MessageLayout kMessages[] = {
    // code, result set, request header, request body, reply body
    {0, false, {E}, {E}, {statementId, E}},
    {4, true, {statementId, E}, {tableQualifier, tableOwner, tableName, columnName, E},
     {resultSetDescription, E}},
    {5, false, {dataSource, userName, password, E}, {E}, {versionElement, nativeLengthValues, E}},
    {8, false, {E}, {E}, {E}},
    {9, false, {statementId, E}, {E}, {sqlstate, errorCode, errorText, fileName, lineNumber, E}},
    {10, true, {statementId, E}, {statement, parameterDataSetElement, E},
     {resultSetDescription, E}},
    {11, false, {statementId, E}, {parameterDataSetElement, E}, {E}},
    {13, false, {statementId, E}, {columnNumberVector, E}, {fetchDataSet, E}},
    {15, false, {statementId, E}, {freeOption, E}, {E}},
    {16, false, {statementId, E}, {E}, {cursorName, E}},
    {17, false, {statementId, E}, {columnNumber, E}, {fetchData, E}},
    {18, false, {statementId, E}, {E}, {rowNumber, E}},
    {19, true, {statementId, E}, {sqlDataType, E}, {resultSetDescription, E}},
    {23, true, {statementId, E}, {statement, E}, {resultSetDescription, E}},
    {25, false, {statementId, E}, {E}, {numberOfRows, E}},
    {26, false, {accessMode, E}, {E}, {E}},
    {27, false, {autocommitMode, E}, {E}, {E}},
    {28, false, {statementId, E}, {concurrencyOption, E}, {E}},
    {29, false, {statementId, E}, {cursorName, E}, {E}},
    {30, false, {statementId, E}, {cursorTypeOption, E}, {E}},
    {31, false, {statementId, E}, {maxLength, E}, {E}},
    {32, false, {statementId, E}, {maxRows, E}, {E}},
    {33, false, {statementId, E}, {noscanOption, E}, {E}},
    {35, false, {statementId, E}, {retrieveDataOption, E}, {E}},
    {36, false, {statementId, E}, {rowsetSize, E}, {E}},
    {38, false, {transactionIsolationLevel, E}, {E}, {E}},
    {39, false, {statementId, E}, {bookmarkUseOption, E}, {E}},
    {40, true, {statementId, E},
     {specialColumnType, tableQualifier, tableOwner, tableName, specialColumnScope, nullability, E},
     {resultSetDescription, E}},
    {41, true, {statementId, E}, {tableQualifier, tableOwner, tableName, indexType, accuracy, E},
     {resultSetDescription, E}},
    {43, true, {statementId, E}, {tableQualifier, tableOwner, tableName, tableType, E},
     {resultSetDescription, E}},
    {44, false, {transactionType, E}, {E}, {E}},
};

const int kMessageCount = static_cast<int>(sizeof kMessages / sizeof kMessages[0]);

}  // namespace

const MessageLayout* FindMessageLayout(uint16_t code) {
  for (const MessageLayout& layout : kMessages) {
    if (layout.code == code) return &layout;
  }
  return nullptr;
}

int MessageCount() { return kMessageCount; }

uint16_t MessageCodeAt(int index) {
  return index >= 0 && index < kMessageCount ? kMessages[index].code : 0;
}
