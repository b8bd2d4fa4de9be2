#pragma once

// The start-up routine: sets the application title, ends silently without
// "ObjectProperties.txt", creates the long-lived windows, handles the command
// line and runs the message loop.
int MorvoObjReadMain(int argc, char* argv[]);

// The window part of the start-up, for an application object that exists:
// creates the long-lived windows in their fixed order (the main window first,
// the data module last) unless they exist.
void CreateAllForms();

// Frees the long-lived windows (not the data module) before the program ends
// without its main window; the message loop entered afterwards returns at once.
void FreeAllForms();
