#include "MacRunLoopBridge.h"

#include <sim_macos/MacStandIn.h>

#include <juce_events/juce_events.h>

namespace simmac
{
namespace
{
int registeredFd = -1; ///< touched on the message thread only
} // namespace

bool startMessageThreadRunLoop()
{
    if (!juce::MessageManager::existsAndIsCurrentThread())
        return false;
    if (registeredFd >= 0)
        return true;
    registeredFd = attachMainRunLoop();
    juce::LinuxEventLoop::registerFdCallback (registeredFd, [] (int) { serviceMainRunLoop(); });
    return true;
}

void stopMessageThreadRunLoop()
{
    if (registeredFd < 0 || !juce::MessageManager::existsAndIsCurrentThread())
        return;
    juce::LinuxEventLoop::unregisterFdCallback (registeredFd);
    detachMainRunLoop();
    registeredFd = -1;
}
} // namespace simmac
