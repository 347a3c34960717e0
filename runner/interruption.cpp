#include "runner/interruption.hpp"

#include <atomic>
#include <csignal>

namespace quillfen::runner {
namespace {

// The one piece of state a signal handler may touch; lock-free, so safe to store to in
// the handler.
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void note_signal(int signal) {
  int none = 0;
  received.compare_exchange_strong(none, signal);
}

}  // namespace

StopRequest never_stop() {
  return [] { return std::optional<int>(); };
}

void catch_stop_signals() {
  struct sigaction action {};
  action.sa_handler = note_signal;
  sigemptyset(&action.sa_mask);
  // The handler gives way to the default after it ran once: a second Ctrl-C ends the
  // process at once.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

std::optional<int> stop_signal() {
  const int signal = received.load();
  if (signal == 0) return std::nullopt;
  return signal;
}

std::string signal_name(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    default: return "signal " + std::to_string(signal);
  }
}

}  // namespace quillfen::runner
