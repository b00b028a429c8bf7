#include "X11Wake.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <X11/Xlib.h>

namespace simwin
{
namespace
{
void wakeNow()
{
    // Our own connection, kept for the program's life; only the message thread uses it.
    static Display* const own = XOpenDisplay (nullptr);
    if (own == nullptr)
        return;
    auto& desktop = juce::Desktop::getInstance();
    for (int i = 0; i < desktop.getNumComponents(); ++i)
    {
        auto* peer = desktop.getComponent (i)->getPeer();
        if (peer == nullptr)
            continue;
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = (::Window) (juce::pointer_sized_uint) peer->getNativeHandle();
        event.xclient.message_type = XInternAtom (own, "ULK_SIM_WAKE", False);
        event.xclient.format = 32;
        XSendEvent (own, event.xclient.window, False, NoEventMask, &event);
        XFlush (own);
        return; // one event wakes the whole connection
    }
}
} // namespace

/** Wakes again 50 and 250 ms later, then stops.  One for the program's
    life, reachable from here (a delayed callback of JUCE's own would be lost,
    and counted as leaked, when the program ends before it fires). */
class LaterWakes final : private juce::Timer
{
public:
    void restart()
    {
        ticks = 0;
        startTimer (50);
    }

private:
    void timerCallback() override
    {
        ++ticks;
        if (ticks == 1 || ticks == 5)
            wakeNow();
        if (ticks >= 5)
            stopTimer();
    }

    int ticks = 0;
};

void wakeJuceEventLoopSoon()
{
    wakeNow();
    // The round trip that hides the events may still be to come.
    static LaterWakes* const later = new LaterWakes();
    later->restart();
}
} // namespace simwin
