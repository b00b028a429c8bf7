#pragma once

namespace simwin
{
/** Makes JUCE read the X events that wait in Xlib's queue.  JUCE reads X
    events when its connection's socket has data; events that reached Xlib's
    queue during one of its own round trips (the expose events of a box just
    mapped, or of the window a closed box uncovered) wait there for the next
    data, which on a display without a window manager may never come, so the
    windows keep a closed box's pixels.  Sends a client message, which JUCE
    ignores, to one of its windows from a connection of our own, now and
    twice more within a quarter of a second.  Message thread only; does
    nothing without an X display. */
void wakeJuceEventLoopSoon();
} // namespace simwin
