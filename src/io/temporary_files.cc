#include "io/temporary_files.h"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace korvant {
namespace {

// The list is read by the signal handler, so it is changed only while the
// signals are blocked, and its names are fixed buffers, never reallocated.
constexpr size_t kSlots = 16;
constexpr size_t kNameBytes = 4096;
constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

struct Slot {
  char name[kNameBytes];
  bool used;
};
Slot slots[kSlots];

void OnSignal(int signal) {
  for (const Slot& slot : slots) {
    if (slot.used) ::unlink(slot.name);
  }
  // The handler was installed to run once: the signal, raised again, ends the
  // process as it would have (it is delivered when the handler returns).
  ::raise(signal);
}

// Blocks the signals for its lifetime.
class Blocked {
 public:
  Blocked() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kSignals) sigaddset(&set, s);
    ::sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~Blocked() { ::sigprocmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

}  // namespace

void RemoveTemporariesOnSignals() {
  for (int s : kSignals) {
    struct sigaction old {};
    ::sigaction(s, nullptr, &old);
    if (old.sa_handler == SIG_IGN) continue;  // as a shell's background job left it
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    ::sigaction(s, &action, nullptr);
  }
}

void RemoveOnSignal(const std::string& name) {
  if (name.size() >= kNameBytes) return;  // no such name can be created
  Blocked blocked;
  for (Slot& slot : slots) {
    if (slot.used) continue;
    std::memcpy(slot.name, name.c_str(), name.size() + 1);
    slot.used = true;
    return;
  }
}

void KeepOnSignal(const std::string& name) {
  Blocked blocked;
  for (Slot& slot : slots) {
    if (slot.used && name == slot.name) {
      slot.used = false;
      return;
    }
  }
}

}  // namespace korvant
