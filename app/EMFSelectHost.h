#pragma once

// Runs the EMF page window for one modal showing: connects it to the dialog
// facade and the message box, creates it owned by no other window, keeps it
// in frmEMFSelect while it runs, and frees it afterwards.
void ConnectEMFSelectHost();
void ExecEMFSelect();
