#pragma once

// The start-up routine: sets the application title, ends silently without
// "ObjectProperties.txt", creates the long-lived windows, handles the command
// line and runs the message loop.
int MorvoObjReadMain(int argc, char* argv[]);
