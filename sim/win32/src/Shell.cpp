// The process command line of the simulated Windows platform: what
// GetCommandLineW gives, the shell's splitter with Windows' rules for quotes
// and backslashes, and the quoting that turns arguments back into a line.

#include "Win32Internal.h"

#include <shellapi.h>

#include <deque>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include <climits>
#include <unistd.h>

namespace simwin::detail
{
namespace
{
struct ProcessCommandLine
{
    std::mutex lock;
    /** Every line ever handed out stays, so that earlier pointers stay valid. */
    std::deque<std::wstring> lines;
};

ProcessCommandLine& processCommandLine()
{
    static auto* c = new ProcessCommandLine();
    return *c;
}

std::vector<std::string> ownArguments()
{
    std::ifstream in ("/proc/self/cmdline", std::ios::binary);
    const std::string all ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    std::string::size_type start = 0;
    while (start < all.size())
    {
        const auto end = all.find ('\0', start);
        arguments.push_back (all.substr (start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return arguments;
}

std::wstring ownExecutable()
{
    char path[PATH_MAX];
    const auto length = readlink ("/proc/self/exe", path, sizeof (path) - 1);
    return length > 0 ? widen (std::string (path, (std::size_t) length)) : std::wstring();
}

bool isBlank (wchar_t c)
{
    return c == L' ' || c == L'\t';
}

/** Windows' rules: the program name runs to the next blank, or from a quote
    to the next quote, with backslashes as they are.  In the other arguments
    a quote toggles quoting (inside quotes, two quotes give one and end the
    quoting); 2n backslashes before a quote give n and the quote counts, 2n+1
    give n and a literal quote; other backslashes are literal. */
std::vector<std::wstring> splitCommandLine (const wchar_t* p)
{
    std::vector<std::wstring> arguments;

    std::wstring program;
    if (*p == L'"')
    {
        for (++p; *p != L'\0' && *p != L'"'; ++p)
            program += *p;
        if (*p == L'"')
            ++p;
    }
    else
    {
        for (; *p != L'\0' && !isBlank (*p); ++p)
            program += *p;
    }
    arguments.push_back (program);

    for (;;)
    {
        while (isBlank (*p))
            ++p;
        if (*p == L'\0')
            break;

        std::wstring argument;
        bool quoted = false;
        while (*p != L'\0' && (quoted || !isBlank (*p)))
        {
            if (*p == L'\\')
            {
                std::size_t slashes = 0;
                while (p[slashes] == L'\\')
                    ++slashes;
                if (p[slashes] == L'"')
                {
                    argument.append (slashes / 2, L'\\');
                    p += slashes;
                    if (slashes % 2 == 1)
                    {
                        argument += L'"';
                        ++p;
                    }
                }
                else
                {
                    argument.append (slashes, L'\\');
                    p += slashes;
                }
            }
            else if (*p == L'"')
            {
                if (quoted && p[1] == L'"')
                {
                    argument += L'"';
                    quoted = false;
                    p += 2;
                }
                else
                {
                    quoted = !quoted;
                    ++p;
                }
            }
            else
            {
                argument += *p++;
            }
        }
        arguments.push_back (argument);
    }
    return arguments;
}

std::string quoteProgram (const std::string& program)
{
    return program.empty() || program.find_first_of (" \t") != std::string::npos ? "\"" + program + "\""
                                                                                 : program;
}

std::string quoteArgument (const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of (" \t\n\v\"") == std::string::npos)
        return argument;

    std::string quoted = "\"";
    std::size_t slashes = 0;
    for (const char c : argument)
    {
        if (c == '\\')
        {
            ++slashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted.append (c == '"' ? slashes * 2 + 1 : slashes, '\\');
        quoted += c;
        slashes = 0;
    }
    // Before the closing quote too.
    quoted.append (slashes * 2, '\\');
    return quoted + "\"";
}
} // namespace
} // namespace simwin::detail

using namespace simwin::detail;

//==============================================================================
// The test API's share

namespace simwin
{
void setCommandLine (const std::wstring& commandLine)
{
    auto& c = processCommandLine();
    std::lock_guard<std::mutex> guard (c.lock);
    c.lines.push_back (commandLine);
}

std::string argumentsLineFor (const std::vector<std::string>& arguments)
{
    std::string line;
    for (std::size_t i = 1; i < arguments.size(); ++i)
        line += (i > 1 ? " " : "") + quoteArgument (arguments[i]);
    return line;
}

std::wstring commandLineFor (const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return {};
    const std::string rest = argumentsLineFor (arguments);
    return widen (quoteProgram (arguments[0]) + (rest.empty() ? "" : " " + rest));
}
} // namespace simwin

//==============================================================================
// Win32

LPWSTR WINAPI GetCommandLineW (void)
{
    auto& c = processCommandLine();
    std::lock_guard<std::mutex> guard (c.lock);
    if (c.lines.empty())
        c.lines.push_back (simwin::commandLineFor (ownArguments()));
    return c.lines.back().data();
}

LPWSTR* WINAPI CommandLineToArgvW (LPCWSTR lpCmdLine, int* pNumArgs)
{
    if (pNumArgs == nullptr)
    {
        setLastError (ERROR_INVALID_PARAMETER);
        return nullptr;
    }

    const auto arguments = lpCmdLine == nullptr || *lpCmdLine == L'\0'
                               ? std::vector<std::wstring>{ ownExecutable() }
                               : splitCommandLine (lpCmdLine);

    // One block: the pointers, a null one, then the strings.
    std::size_t bytes = (arguments.size() + 1) * sizeof (LPWSTR);
    for (auto& argument : arguments)
        bytes += (argument.size() + 1) * sizeof (WCHAR);
    auto* block = static_cast<LPWSTR*> (allocateLocal (bytes));
    if (block == nullptr)
    {
        setLastError (ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }

    auto* text = reinterpret_cast<WCHAR*> (block + arguments.size() + 1);
    for (std::size_t i = 0; i < arguments.size(); ++i)
    {
        block[i] = text;
        text = std::copy (arguments[i].begin(), arguments[i].end(), text);
        *text++ = L'\0';
    }
    block[arguments.size()] = nullptr;
    *pNumArgs = (int) arguments.size();
    return block;
}
