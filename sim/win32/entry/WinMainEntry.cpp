// The C runtime's part on Windows: main() hands the program's arguments to
// WinMain as Windows would, as one command line.  Windows' own part is that
// JUCE's message loop pumps the message thread's window messages: the bridge
// starts itself when that thread makes its first window.

#include <windows.h>

#include <Win32MessageBridge.h>
#include <sim_win32/Win32StandIn.h>

#include <string>
#include <vector>

int main (int argc, char** argv)
{
    simwin::startBridgeOnFirstWindow();
    const std::vector<std::string> arguments (argv, argv + argc);
    simwin::setCommandLine (simwin::commandLineFor (arguments));
    std::string line = simwin::argumentsLineFor (arguments);
    return WinMain (GetModuleHandleW (nullptr), nullptr, line.data(), SW_SHOWDEFAULT);
}
