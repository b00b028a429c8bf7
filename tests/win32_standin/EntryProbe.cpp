// A GUI program's entry for the entry glue's test: it prints what WinMain got
// and what CommandLineToArgvW makes of the process command line, one line
// each, in UTF-8, and ends with code 3.

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

namespace
{
std::string utf8Of (const wchar_t* text)
{
    std::string out;
    for (; *text != L'\0'; ++text)
    {
        const auto c = (unsigned long) *text;
        if (c < 0x80)
        {
            out += (char) c;
        }
        else if (c < 0x800)
        {
            out += (char) (0xC0 | (c >> 6));
            out += (char) (0x80 | (c & 0x3F));
        }
        else
        {
            out += (char) (0xE0 | ((c >> 12) & 0x0F));
            out += (char) (0x80 | ((c >> 6) & 0x3F));
            out += (char) (0x80 | (c & 0x3F));
        }
    }
    return out;
}
} // namespace

int WINAPI WinMain (HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    std::printf ("instance %s\n", instance == GetModuleHandleW (NULL) ? "ok" : "wrong");
    std::printf ("previous %s\n", previous == NULL ? "null" : "set");
    std::printf ("show %d\n", show);
    std::printf ("lpCmdLine [%s]\n", commandLine);
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW (GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i)
        std::printf ("argument [%s]\n", utf8Of (arguments[i]).c_str());
    LocalFree (arguments);
    return 3;
}
