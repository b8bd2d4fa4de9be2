#include "MessagePump.h"

#include <QCoreApplication>
#include <ctime>

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
  // The coarse clock (a few milliseconds fine) is read without the time
  // stamp counter: loops over a million objects ask for it per object.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}
