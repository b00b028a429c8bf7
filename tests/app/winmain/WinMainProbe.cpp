// The Windows program with an entry of its own in front of WinMain, started
// as the system starts a program.  Once the application has initialised, it
// writes what WinMain made of the command line to winmain_probe.txt in the
// working directory: the start-up command line and whether the window shows
// an update file.  Then it quits, and returns what WinMain returned.

#include <ApplicationStartUp.h>
#include <MainWindow.h>
#include <UpdateFileInfoComponent.h>

#include <windows.h>

#ifndef _WIN32
 #include <Win32MessageBridge.h>
#endif

namespace
{
bool showsUpdateFile()
{
    for (int i = 0; i < juce::TopLevelWindow::getNumTopLevelWindows(); ++i)
        if (auto* window = dynamic_cast<MainWindow*> (juce::TopLevelWindow::getTopLevelWindow (i)))
            if (auto* content = window->getContentComponent())
                for (auto* child : content->getChildren())
                    if (dynamic_cast<UpdateFileInfoComponent*> (child) != nullptr)
                        return child->isVisible();
    return false;
}

void report()
{
    // Posted before the application existed: wait for the end of its start.
    auto* application = juce::JUCEApplicationBase::getInstance();
    if (application == nullptr || application->isInitialising())
    {
        juce::MessageManager::callAsync (report);
        return;
    }

    juce::File::getCurrentWorkingDirectory()
        .getChildFile ("winmain_probe.txt")
        .replaceWithText ("command line [" + startUpCommandLine + "]\nupdate file " +
                              (showsUpdateFile() ? "shown" : "not shown") + "\n",
                          false, false, "\n");
    juce::JUCEApplicationBase::quit();
}
} // namespace

// On Windows this takes the place of the C runtime's main, which calls
// WinMain the same way.
int main (int, char**)
{
#ifndef _WIN32
    // As the simulated platform's entry does; its command line is made from
    // this process's arguments.
    simwin::startBridgeOnFirstWindow();
#endif
    juce::ScopedJuceInitialiser_GUI juce;
    juce::MessageManager::callAsync (report);
    char arguments[] = ""; // WinMain reads the command line itself
    return WinMain (GetModuleHandleW (nullptr), nullptr, arguments, SW_SHOWDEFAULT);
}
