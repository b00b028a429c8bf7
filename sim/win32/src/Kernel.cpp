// The small kernel and C runtime services of the simulated Windows platform:
// the last error, heap blocks, the secure and case-blind string functions,
// threads and time, and the fault knobs and counters of the test API.

#include "Win32Internal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include <unistd.h>

namespace simwin::detail
{
namespace
{
thread_local DWORD lastError = ERROR_SUCCESS;

std::atomic<std::size_t> invalidUses{ 0 };
std::atomic<std::size_t> misuses{ 0 };

struct Faults
{
    std::mutex lock;
    std::map<Call, Fault> active;
};

Faults& faults()
{
    static auto* f = new Faults();
    return *f;
}

/** The blocks that GlobalFree and LocalFree accept. */
struct Blocks
{
    std::mutex lock;
    std::set<void*> global;
    std::set<void*> local;
};

Blocks& blocks()
{
    static auto* b = new Blocks();
    return *b;
}

void* allocate (std::set<void*>& owner, UINT flags, std::size_t bytes)
{
    // malloc (0) still gives a block of its own, so that a zero-length report
    // buffer has an address that nothing may touch.
    void* block = std::malloc (bytes);
    if (block == nullptr)
        return nullptr;
    std::memset (block, (flags & GMEM_ZEROINIT) != 0 ? 0 : 0xCD, bytes);
    std::lock_guard<std::mutex> guard (blocks().lock);
    owner.insert (block);
    return block;
}

void* release (std::set<void*>& owner, void* block)
{
    if (block == nullptr)
        return nullptr;
    {
        std::lock_guard<std::mutex> guard (blocks().lock);
        if (owner.erase (block) == 0)
        {
            noteInvalidHandle (block);
            setLastError (ERROR_INVALID_HANDLE);
            return block;
        }
    }
    std::free (block);
    return nullptr;
}

/** What Microsoft's C runtime does with an invalid parameter by default. */
[[noreturn]] void invalidParameter (const char* function)
{
    std::fprintf (stderr, "%s: invalid parameter; the program ends\n", function);
    std::fflush (stderr);
    std::abort();
}
} // namespace

void setLastError (DWORD code)
{
    lastError = code;
}

bool faultStrikes (Call call, sim::DeviceId device, DWORD defaultCode, DWORD& code)
{
    auto& f = faults();
    std::lock_guard<std::mutex> guard (f.lock);
    const auto found = f.active.find (call);
    if (found == f.active.end())
        return false;
    Fault& fault = found->second;
    if (fault.device != 0 && device != 0 && fault.device != device)
        return false;
    if (fault.skip > 0)
    {
        --fault.skip;
        return false;
    }
    if (fault.times == 0)
        return false;
    if (fault.times > 0)
        --fault.times;
    code = fault.code != 0 ? fault.code : defaultCode;
    return true;
}

void noteInvalidHandle (const void* handle)
{
    if (handle != nullptr)
        ++invalidUses;
}

void noteOverlappedMisuse()
{
    ++misuses;
}

void* allocateLocal (std::size_t bytes)
{
    return allocate (blocks().local, LMEM_FIXED, bytes);
}

std::wstring widen (const std::string& utf8)
{
    std::wstring wide;
    for (std::size_t i = 0; i < utf8.size();)
    {
        const auto lead = (unsigned char) utf8[i];
        const int extra = lead < 0x80           ? 0
                          : (lead >> 5) == 0x06 ? 1
                          : (lead >> 4) == 0x0E ? 2
                          : (lead >> 3) == 0x1E ? 3
                                                : -1;
        if (extra < 0 || i + (std::size_t) extra >= utf8.size())
        {
            wide += L'\xFFFD';
            ++i;
            continue;
        }
        std::uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        bool valid = true;
        for (int k = 1; k <= extra; ++k)
        {
            const auto next = (unsigned char) utf8[i + (std::size_t) k];
            valid = valid && (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        wide += valid ? (wchar_t) code : L'\xFFFD';
        i += valid ? (std::size_t) extra + 1 : 1;
    }
    return wide;
}

std::string narrow (const std::wstring& wide)
{
    std::string utf8;
    for (const wchar_t c : wide)
    {
        const auto code = (std::uint32_t) c;
        if (code < 0x80)
        {
            utf8 += (char) code;
        }
        else if (code < 0x800)
        {
            utf8 += (char) (0xC0 | (code >> 6));
            utf8 += (char) (0x80 | (code & 0x3F));
        }
        else if (code < 0x10000)
        {
            utf8 += (char) (0xE0 | (code >> 12));
            utf8 += (char) (0x80 | ((code >> 6) & 0x3F));
            utf8 += (char) (0x80 | (code & 0x3F));
        }
        else
        {
            utf8 += (char) (0xF0 | ((code >> 18) & 0x07));
            utf8 += (char) (0x80 | ((code >> 12) & 0x3F));
            utf8 += (char) (0x80 | ((code >> 6) & 0x3F));
            utf8 += (char) (0x80 | (code & 0x3F));
        }
    }
    return utf8;
}

wchar_t foldCase (wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? (wchar_t) (c - L'A' + L'a') : c;
}

bool equalIgnoringCase (const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() &&
           std::equal (a.begin(), a.end(), b.begin(),
                       [] (wchar_t x, wchar_t y) { return foldCase (x) == foldCase (y); });
}

DWORD win32CodeOf (NTSTATUS status)
{
    const auto value = (std::uint32_t) status;
    if ((value & 0xFFFF0000u) == 0xC0070000u)
        return value & 0xFFFFu;
    switch (value)
    {
        case 0:
            return ERROR_SUCCESS;
        case 0x103:
            return ERROR_IO_PENDING;
        case 0xC0000120u:
            return ERROR_OPERATION_ABORTED;
        case 0xC000009Du:
            return ERROR_DEVICE_NOT_CONNECTED;
        case 0xC000000Du:
            return ERROR_INVALID_PARAMETER;
        default:
            return ERROR_GEN_FAILURE;
    }
}
} // namespace simwin::detail

using namespace simwin::detail;

//==============================================================================
// The test API's share

namespace simwin
{
void injectFault (Call call, Fault fault)
{
    auto& f = faults();
    std::lock_guard<std::mutex> guard (f.lock);
    f.active[call] = fault;
}

void clearFaults()
{
    auto& f = faults();
    std::lock_guard<std::mutex> guard (f.lock);
    f.active.clear();
}

std::size_t liveGlobalAllocations()
{
    std::lock_guard<std::mutex> guard (blocks().lock);
    return blocks().global.size();
}

std::size_t liveLocalAllocations()
{
    std::lock_guard<std::mutex> guard (blocks().lock);
    return blocks().local.size();
}

std::size_t invalidHandleUses()
{
    return invalidUses.load();
}

std::size_t overlappedMisuses()
{
    return misuses.load();
}
} // namespace simwin

//==============================================================================
// Win32

DWORD WINAPI GetLastError (void)
{
    return lastError;
}

void WINAPI SetLastError (DWORD dwErrCode)
{
    lastError = dwErrCode;
}

HGLOBAL WINAPI GlobalAlloc (UINT uFlags, SIZE_T dwBytes)
{
    DWORD code = 0;
    if (faultStrikes (simwin::Call::globalAlloc, 0, ERROR_NOT_ENOUGH_MEMORY, code))
    {
        setLastError (code);
        return nullptr;
    }
    // Movable blocks would need GlobalLock; nothing here uses them.
    if ((uFlags & ~(UINT) GMEM_ZEROINIT) != GMEM_FIXED)
    {
        setLastError (ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* block = allocate (blocks().global, uFlags, dwBytes);
    if (block == nullptr)
        setLastError (ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

HGLOBAL WINAPI GlobalFree (HGLOBAL hMem)
{
    return release (blocks().global, hMem);
}

HLOCAL WINAPI LocalAlloc (UINT uFlags, SIZE_T uBytes)
{
    if ((uFlags & ~(UINT) LMEM_ZEROINIT) != LMEM_FIXED)
    {
        setLastError (ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* block = allocate (blocks().local, uFlags, uBytes);
    if (block == nullptr)
        setLastError (ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

HLOCAL WINAPI LocalFree (HLOCAL hMem)
{
    return release (blocks().local, hMem);
}

errno_t wcscpy_s (wchar_t* dest, rsize_t destSizeInWords, const wchar_t* source)
{
    if (dest == nullptr || destSizeInWords == 0)
        invalidParameter ("wcscpy_s");
    if (source == nullptr)
    {
        dest[0] = L'\0';
        invalidParameter ("wcscpy_s");
    }
    const std::size_t length = std::wcslen (source);
    if (length >= destSizeInWords)
    {
        dest[0] = L'\0';
        invalidParameter ("wcscpy_s");
    }
    std::wmemcpy (dest, source, length + 1);
    return 0;
}

int _wcsicmp (const wchar_t* string1, const wchar_t* string2)
{
    return _wcsnicmp (string1, string2, (size_t) -1);
}

int _wcsnicmp (const wchar_t* string1, const wchar_t* string2, size_t maxCount)
{
    for (size_t i = 0; i < maxCount; ++i)
    {
        const wchar_t a = foldCase (string1[i]);
        const wchar_t b = foldCase (string2[i]);
        if (a != b)
            return a < b ? -1 : 1;
        if (a == L'\0')
            return 0;
    }
    return 0;
}

int WINAPI lstrlenW (LPCWSTR lpString)
{
    return lpString == nullptr ? 0 : (int) std::wcslen (lpString);
}

int WINAPI lstrcmpiW (LPCWSTR lpString1, LPCWSTR lpString2)
{
    return _wcsicmp (lpString1 != nullptr ? lpString1 : L"", lpString2 != nullptr ? lpString2 : L"");
}

void WINAPI Sleep (DWORD dwMilliseconds)
{
    std::this_thread::sleep_for (std::chrono::milliseconds (dwMilliseconds));
}

DWORD WINAPI GetCurrentThreadId (void)
{
    return (DWORD) gettid();
}

DWORD WINAPI GetTickCount (void)
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return (DWORD) std::chrono::duration_cast<std::chrono::milliseconds> (now).count();
}

HMODULE WINAPI GetModuleHandleW (LPCWSTR lpModuleName)
{
    if (lpModuleName == nullptr)
        return (HMODULE) (ULONG_PTR) 0x00400000;
    setLastError (ERROR_MOD_NOT_FOUND);
    return nullptr;
}
