#pragma once

#include <cstdint>
#include <functional>

// Long work runs on the GUI thread and keeps the window alive by pumping
// pending events; it stops early when the application is terminating. Without
// an application object pumping does nothing.

void ProcessMessages();
// Like ProcessMessages, but pumps at most once per time slice (about 20 ms);
// loops over many items call it per item.
void ProcessMessagesSliced();
bool ApplicationTerminating();
void SetApplicationTerminating(bool terminating);

// The progress routine the reader and the export walk call (the main window's
// BlinkPatience). With no GUI attached it does nothing.
void SetProgressHook(std::function<void()> hook);
void CallProgressHook();

// A steady millisecond clock kept as a 32-bit count that wraps; it advances in
// steps of a few milliseconds.
uint32_t GetTickCount32();
