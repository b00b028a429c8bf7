#pragma once

// Makes JUCE's message loop service the message thread's run loop of the
// simulated macOS platform, as on a Mac, where the message loop is the main
// run loop: sources added to CFRunLoopGetCurrent() on the message thread then
// run inside JUCE's dispatch loop without anyone calling CFRunLoopRun.  While
// a message box is open the loop runs in the modal panel's mode, as under a
// Mac's alert: default-mode sources wait until the box has gone.

namespace simmac
{
/** Call on the JUCE message thread once JUCE is initialised; that thread's run
    loop becomes CFRunLoopGetMain().  Later calls do nothing.  False (and
    nothing done) when not called on the message thread. */
bool startMessageThreadRunLoop();

/** Hands the run loop back; call on the message thread before JUCE shuts down. */
void stopMessageThreadRunLoop();
} // namespace simmac
