// The Windows flavour's message boxes in the soak: the Windows stand-in's
// MessageBoxA, answered through its knob once it has been open for a moment;
// no display is needed.

#include "BenchSupport.h"

#include <windows.h>

#include <sim_win32/Win32StandIn.h>

#include <chrono>
#include <map>
#include <memory>

namespace bench
{
bool canShowMessageBoxes (std::string&)
{
    return true;
}

void answerMessageBoxes (bool on, std::function<bool()> idle)
{
    simwin::clearMessageBoxes();
    if (!on)
    {
        simwin::setMessageBoxHandler (nullptr);
        return;
    }
    // Asked on the box's thread, once a round: boxes open one inside another,
    // each known by its record while it is open.
    auto openSince =
        std::make_shared<std::map<const simwin::MessageBoxRecord*, std::chrono::steady_clock::time_point>>();
    simwin::setMessageBoxHandler (
        [openSince, idle] (const simwin::MessageBoxRecord& box)
        {
            const auto now = std::chrono::steady_clock::now();
            const auto opened = openSince->emplace (&box, now).first;
            if (now - opened->second < messageBoxReadingTime || (idle != nullptr && !idle()))
                return 0;
            openSince->erase (opened);
            return IDOK;
        });
}

std::vector<std::string> takeMessageBoxes()
{
    std::vector<std::string> texts;
    for (const auto& box : simwin::messageBoxes())
        texts.push_back (box.text);
    simwin::clearMessageBoxes();
    return texts;
}
} // namespace bench
