// Linked into a program (not a test), this makes the message thread's run
// loop JUCE's own as soon as the program first asks for it there, as it is on
// a Mac, so that the program itself does nothing for the simulated platform.

#include "MacRunLoopBridge.h"

#include <sim_macos/MacStandIn.h>

#include <sim_control/ProgramHook.h>

#include <juce_events/juce_events.h>

namespace
{
void startOnTheMessageThread()
{
    if (juce::MessageManager::existsAndIsCurrentThread())
    {
        simmac::startMessageThreadRunLoop();
        // The simulated controllers' window, when the run command asks for it.
        simctl::startWithProgram();
    }
}

struct AutoStart
{
    AutoStart() { simmac::setCurrentLoopHook (&startOnTheMessageThread); }
};

const AutoStart autoStart;
} // namespace
