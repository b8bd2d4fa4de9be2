#pragma once

// FreeAllForms, the counterpart of CreateAllForms, for those that create the windows.
#include "FreeAllForms.h"

// The start-up routine: sets the application title, ends silently without
// "ObjectProperties.txt", creates the long-lived windows, handles the command
// line and runs the message loop.
int MorvoObjReadMain(int argc, char* argv[]);

// The window part of the start-up, for an application object that exists:
// creates the long-lived windows in their fixed order (the main window first,
// the data module last) unless they exist.
void CreateAllForms();
