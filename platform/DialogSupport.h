// Helpers around the library's dialogs: placing a dialog on the screen and
// the optional three-dimensional control look.
#ifndef VELORA_PLATFORM_DIALOGSUPPORT_H
#define VELORA_PLATFORM_DIALOGSUPPORT_H

#include "platform/Dialog.h"

// Gives window the size width x height (0: keep the current one) and
// centres it on the screen.
void CenterDialog(HWND window, int width, int height);

// Start and stop the three-dimensional control look around a dialog; they
// do nothing (see DialogSupport.cpp).
void LoadCtl3D(HINSTANCE instance);
void UnloadCtl3D(HINSTANCE instance);

#endif
