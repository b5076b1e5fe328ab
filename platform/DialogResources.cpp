// The dialog templates the library carries: the setup dialog (1001) and
// the password prompt (1004).
#include "platform/DialogTemplate.h"

namespace {

const DialogItemTemplate kSetupItems[] = {
    {kStaticId, kDialogGroupBox, kStyleNone, "Data Source", 5, 5, 192, 70},
    {kSetupNameLabel, kDialogStatic, kStyleNone, "&Name:", 12, 18, 50, 8},
    {kSetupNameField, kDialogEdit, kStyleAutoScroll, "", 65, 16, 125, 12},
    {kStaticId, kDialogStatic, kStyleNone, "&Description:", 12, 34, 50, 8},
    {kSetupDescriptionField, kDialogEdit, kStyleAutoScroll, "", 65, 32, 125, 12},
    {kStaticId, kDialogStatic, kStyleNone, "&User Name:", 12, 50, 50, 8},
    {kSetupUserField, kDialogEdit, kStyleAutoScroll, "", 65, 48, 60, 12},
    {kSetupPasswordBox, kDialogCheckBox, kStyleNone, "Input Password", 130, 50, 60, 10},
    {kStaticId, kDialogGroupBox, kStyleNone, "Network Connection", 5, 80, 192, 36},
    {kStaticId, kDialogStatic, kStyleNone, "&Server:", 12, 96, 30, 8},
    {kSetupServerField, kDialogEdit, kStyleAutoScroll, "", 42, 94, 70, 12},
    {kStaticId, kDialogStatic, kStyleNone, "Ser&vice:", 118, 96, 30, 8},
    {kSetupServiceField, kDialogEdit, kStyleAutoScroll, "", 150, 94, 40, 12},
    {1, kDialogDefaultButton, kStyleNone, "OK", 50, 122, 45, 14},
    {2, kDialogPushButton, kStyleNone, "Cancel", 107, 122, 45, 14},
};

const DialogItemTemplate kPasswordItems[] = {
    {kStaticId, kDialogStatic, kStyleNone, "&User Name:", 8, 10, 45, 8},
    {kPasswordUserField, kDialogEdit, kStyleReadOnly | kStyleAutoScroll, "", 55, 8, 90, 12},
    {kStaticId, kDialogStatic, kStyleNone, "&Password:", 8, 28, 45, 8},
    {kPasswordField, kDialogEdit, kStylePassword | kStyleAutoScroll, "", 55, 26, 90, 12},
    {1, kDialogDefaultButton, kStyleNone, "OK", 20, 48, 45, 14},
    {2, kDialogPushButton, kStyleNone, "Cancel", 88, 48, 45, 14},
};

const DialogTemplate kTemplates[] = {
    {kSetupDialogId, "Velora ODBC Driver Setup", 202, 141, "MS Sans Serif", 8, kSetupItems,
     static_cast<int>(sizeof kSetupItems / sizeof kSetupItems[0])},
    {kPasswordDialogId, "Input Password", 153, 70, "MS Sans Serif", 8, kPasswordItems,
     static_cast<int>(sizeof kPasswordItems / sizeof kPasswordItems[0])},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
  for (const DialogTemplate& t : kTemplates) {
    if (t.id == id) return &t;
  }
  return nullptr;
}
