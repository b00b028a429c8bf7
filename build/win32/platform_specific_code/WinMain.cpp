// The Windows program's entry: the process's one argument, if there is
// exactly one, names the update file to open at start.

#include <ApplicationStartUp.h>

#include <windows.h>

#include <shellapi.h>

namespace
{
juce::JUCEApplicationBase* createApplication()
{
    return new ApplicationStartUp();
}
} // namespace

int WINAPI WinMain (HINSTANCE, HINSTANCE, LPSTR, int)
{
    int count = 0;
    if (LPWSTR* arguments = CommandLineToArgvW (GetCommandLineW(), &count))
    {
        if (count == 2)
            startUpCommandLine = juce::String (arguments[1]);
        LocalFree (arguments);
    }

    juce::JUCEApplicationBase::createInstance = &createApplication;
#if JUCE_WINDOWS
    juce::JUCEApplicationBase::main();
#else
    // JUCE's runner has no Windows entry here; the start-up file is passed
    // on above, not through its arguments.
    const char* arguments[] = { "ulk_updater" };
    juce::JUCEApplicationBase::main (1, arguments);
#endif
    return 0;
}
