#pragma once

// Makes JUCE's message loop service the message thread's run loop of the
// simulated macOS platform, as on a Mac, where the message loop is the main
// run loop: sources added to CFRunLoopGetCurrent() on the message thread then
// run inside JUCE's dispatch loop without anyone calling CFRunLoopRun.

namespace simmac
{
/** Call on the JUCE message thread once JUCE is initialised; that thread's run
    loop becomes CFRunLoopGetMain().  Later calls do nothing.  False (and
    nothing done) when not called on the message thread. */
bool startMessageThreadRunLoop();

/** Hands the run loop back; call on the message thread before JUCE shuts down. */
void stopMessageThreadRunLoop();
} // namespace simmac
