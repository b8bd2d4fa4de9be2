#include "MessagePump.h"

#include <QCoreApplication>
#include <chrono>

namespace {
bool gTerminating = false;
std::function<void()>& ProgressHook() {
  static std::function<void()> hook;
  return hook;
}
uint32_t gLastPump = 0;
}  // namespace

void ProcessMessages() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
  gLastPump = GetTickCount32();
}

void ProcessMessagesSliced() {
  if (static_cast<uint32_t>(GetTickCount32() - gLastPump) >= 20) ProcessMessages();
}

bool ApplicationTerminating() { return gTerminating; }
void SetApplicationTerminating(bool terminating) { gTerminating = terminating; }

void SetProgressHook(std::function<void()> hook) { ProgressHook() = std::move(hook); }
void CallProgressHook() {
  if (ProgressHook()) ProgressHook()();
}

uint32_t GetTickCount32() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
