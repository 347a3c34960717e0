// Stopping a run early on SIGINT (Ctrl-C) or SIGTERM (a CI job's time-out): the handler
// only notes the signal; the step loop asks between steps and while it waits, ends the
// step under way with its line, and the run writes its reports for what ran before it
// exits with 128 + the signal's number. A second signal of the same kind ends the
// process at once, as if nothing had been caught.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace quillfen::runner {

// Asked by the step loop: the signal that asks the run to stop, once one came.
using StopRequest = std::function<std::optional<int>()>;

// A request that never asks to stop.
StopRequest never_stop();

// Installs the handlers for SIGINT and SIGTERM (once per process).
void catch_stop_signals();

// The first of SIGINT and SIGTERM received since catch_stop_signals, if any.
std::optional<int> stop_signal();

// "SIGINT", "SIGTERM", else "signal N".
std::string signal_name(int signal);

}  // namespace quillfen::runner
