#pragma once

// Frees the long-lived windows (not the data module) before the program ends
// without its main window; the message loop entered afterwards returns at once.
void FreeAllForms();
