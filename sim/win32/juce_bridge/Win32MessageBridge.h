#pragma once

// Makes JUCE's message loop pump the message thread's window messages of the
// simulated Windows platform, as on Windows, where JUCE's loop dispatches every
// message of its thread: windows made on the message thread then get their
// sent and posted messages (device broadcasts among them) inside JUCE's
// dispatch loop, without anyone calling GetMessageW.

namespace simwin
{
/** Call on the JUCE message thread once JUCE is initialised.  Later calls do
    nothing.  False (and nothing done) when not called on the message thread. */
bool startMessageThreadBridge();

/** Stops the pumping; call on the message thread before JUCE shuts down. */
void stopMessageThreadBridge();

/** Message boxes become real windows that a person can read and close, and
    a box on JUCE's message thread runs JUCE's dispatch loop as its modal loop
    (see MessageBoxUi).  Callable on any thread, before JUCE exists; the other
    calls here make it too. */
void useJuceMessageBoxes();

/** From now on the bridge starts itself when the message thread makes a
    window, so that a program's own code needs no call: the entry glue does
    this before WinMain.  Callable on any thread, before JUCE exists. */
void startBridgeOnFirstWindow();
} // namespace simwin
