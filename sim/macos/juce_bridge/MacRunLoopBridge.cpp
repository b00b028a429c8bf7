#include "MacRunLoopBridge.h"

#include <sim_macos/MacStandIn.h>

#include <juce_events/juce_events.h>
#include <juce_gui_basics/juce_gui_basics.h>

namespace simmac
{
namespace
{
int registeredFd = -1; ///< touched on the message thread only

/** The mode a Mac's alert runs the main run loop in while it is open. */
const CFStringRef modalPanelMode = CFSTR ("NSModalPanelRunLoopMode");

/** The message box on screen, if any.  The macOS flavour's boxes are JUCE's
    alert windows here; a box counts from its making to its deletion, as an
    alert's modal run lasts until the call that showed it returns. */
juce::Component* openBox()
{
    auto& desktop = juce::Desktop::getInstance();
    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (auto* box = dynamic_cast<juce::AlertWindow*> (desktop.getComponent (i)))
            return box;
    return nullptr;
}

void serviceForJuce();

/** Services the held work once the box it waited for has gone. */
struct BoxWatcher : juce::ComponentListener
{
    void componentBeingDeleted (juce::Component& box) override
    {
        box.removeComponentListener (this);
        juce::MessageManager::callAsync (&serviceForJuce);
    }
};

BoxWatcher& boxWatcher()
{
    static auto* watcher = new BoxWatcher(); // outlives every box
    return *watcher;
}

/** As on a Mac, default-mode sources (the notification port among them) wait
    while a box is open; common-mode sources still run. */
void serviceForJuce()
{
    if (registeredFd < 0)
        return;
    if (auto* box = openBox())
    {
        box->addComponentListener (&boxWatcher());
        serviceMainRunLoop (modalPanelMode);
        return;
    }
    serviceMainRunLoop (kCFRunLoopDefaultMode);
}
} // namespace

bool startMessageThreadRunLoop()
{
    if (!juce::MessageManager::existsAndIsCurrentThread())
        return false;
    if (registeredFd >= 0)
        return true;
    registeredFd = attachMainRunLoop();
    juce::LinuxEventLoop::registerFdCallback (registeredFd, [] (int) { serviceForJuce(); });
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
