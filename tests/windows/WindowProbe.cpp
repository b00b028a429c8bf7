// window_probe.exe: what scripts/test-windows needs to see of, and do to, a
// running Windows program's windows, through the Windows API (run under wine):
//
//   window_probe windows <title>   the visible top-level windows of the process
//                                  owning the window titled <title>, one a line:
//                                  class, client width x height, title, and the
//                                  text of a dialog's static controls
//   window_probe dismiss <title>   presses OK on every dialog of that process
//   window_probe close <title>     closes the window as its close button does
//
// Exit code 0, or 1 when no window has that title.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{
std::string utf8 (const std::wstring& text)
{
    if (text.empty())
        return {};
    const int n =
        WideCharToMultiByte (CP_UTF8, 0, text.c_str(), (int) text.size(), nullptr, 0, nullptr, nullptr);
    std::string result ((size_t) n, '\0');
    WideCharToMultiByte (CP_UTF8, 0, text.c_str(), (int) text.size(), result.data(), n, nullptr, nullptr);
    return result;
}

std::wstring wide (const char* text)
{
    const int n = MultiByteToWideChar (CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring result ((size_t) n, L'\0');
    MultiByteToWideChar (CP_UTF8, 0, text, -1, result.data(), n);
    result.resize ((size_t) (n > 0 ? n - 1 : 0));
    return result;
}

std::wstring textOf (HWND window)
{
    wchar_t buffer[1024] = {};
    GetWindowTextW (window, buffer, 1024);
    return buffer;
}

std::wstring classOf (HWND window)
{
    wchar_t buffer[256] = {};
    GetClassNameW (window, buffer, 256);
    return buffer;
}

struct Search
{
    DWORD process = 0;
    std::vector<HWND> windows;
};

BOOL CALLBACK collect (HWND window, LPARAM data)
{
    auto& search = *reinterpret_cast<Search*> (data);
    DWORD process = 0;
    GetWindowThreadProcessId (window, &process);
    if (process == search.process && IsWindowVisible (window))
        search.windows.push_back (window);
    return TRUE;
}

BOOL CALLBACK collectStatics (HWND child, LPARAM data)
{
    if (classOf (child) == L"Static" && !textOf (child).empty())
        reinterpret_cast<std::vector<std::wstring>*> (data)->push_back (textOf (child));
    return TRUE;
}

bool isDialog (HWND window)
{
    return classOf (window) == L"#32770";
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf (stderr, "usage: window_probe windows|dismiss|close <title>\n");
        return 2;
    }
    const std::string command = argv[1];

    // The program's own window, not a box that may carry the same title.
    const std::wstring title = wide (argv[2]);
    HWND main = nullptr;
    do
        main = FindWindowExW (nullptr, main, nullptr, title.c_str());
    while (main != nullptr && isDialog (main));
    if (main == nullptr)
        return 1;

    if (command == "close")
    {
        PostMessageW (main, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }

    Search search;
    GetWindowThreadProcessId (main, &search.process);
    EnumWindows (collect, reinterpret_cast<LPARAM> (&search));

    for (HWND window : search.windows)
    {
        if (command == "dismiss")
        {
            if (isDialog (window))
                PostMessageW (window, WM_COMMAND, MAKEWPARAM (IDOK, BN_CLICKED),
                              reinterpret_cast<LPARAM> (GetDlgItem (window, IDOK)));
            continue;
        }

        RECT client{};
        GetClientRect (window, &client);
        std::string line = utf8 (classOf (window)) + "\t" + std::to_string (client.right - client.left) +
                           "x" + std::to_string (client.bottom - client.top) + "\t" + utf8 (textOf (window));
        if (isDialog (window))
        {
            std::vector<std::wstring> texts;
            EnumChildWindows (window, collectStatics, reinterpret_cast<LPARAM> (&texts));
            for (const auto& text : texts)
                line += "\t" + utf8 (text);
        }
        std::printf ("%s\n", line.c_str());
    }
    return 0;
}
