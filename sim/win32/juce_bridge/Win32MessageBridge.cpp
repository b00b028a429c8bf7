#include "Win32MessageBridge.h"

#include <sim_win32/Win32StandIn.h>

#include <sim_control/ProgramHook.h>

#include <juce_events/juce_events.h>

namespace simwin
{
namespace
{
int registeredFd = -1; ///< touched on the message thread only
} // namespace

bool startMessageThreadBridge()
{
    useJuceMessageBoxes();
    if (!juce::MessageManager::existsAndIsCurrentThread())
        return false;
    if (registeredFd >= 0)
        return true;
    registeredFd = attachThreadQueue();
    juce::LinuxEventLoop::registerFdCallback (registeredFd, [] (int) { serviceThreadQueue(); });
    return true;
}

void startBridgeOnFirstWindow()
{
    useJuceMessageBoxes();
    setWindowCreationHook (
        []
        {
            if (juce::MessageManager::existsAndIsCurrentThread())
            {
                startMessageThreadBridge();
                // The simulated controllers' window, when the run command asks for it.
                simctl::startWithProgram();
            }
        });
}

void stopMessageThreadBridge()
{
    if (registeredFd < 0 || !juce::MessageManager::existsAndIsCurrentThread())
        return;
    juce::LinuxEventLoop::unregisterFdCallback (registeredFd);
    detachThreadQueue();
    registeredFd = -1;
}
} // namespace simwin
