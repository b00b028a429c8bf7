#pragma once

// The answers of a scripted controller read from the fuzzer's bytes, shared by
// the targets that talk to one through the test backend.  They give only what
// a backend can give: a get that succeeds copies a report, one that fails
// returns a code that some backend's get returns.

#include "FuzzSupport.h"

#include <ScriptedDevice.h>

#include <functional>

namespace fuzz
{
/** A code that a backend's get fails with: the macOS backend's 4 (no report in
    time) and 6 (woken without one), or a Win32 error such as 996 (still
    pending), 1167 (device gone) or 3, which callers cannot tell from a NAK.
    Never 0. */
int getFailureCode (Input& input);

/** Queues answers read from input until it ends: silences, failed gets,
    failed sends, ACKs, NAKs and caps replies with hostile bodies, and any 32
    bytes.  onReply, when given, sees every reply queued. */
void queueAnswers (testbackend::ScriptedDevice& script, Input& input,
                   const std::function<void (const testbackend::Report&)>& onReply = nullptr);
} // namespace fuzz
