#pragma once

// Connects the packager window to the application's windows: the main
// window's documentation export, the wait and about windows, the dialog
// facade, message boxes and stored window positions.
void ConnectPackagerHost();
