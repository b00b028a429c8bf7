// Kernel services of the simulated platform: events and waits, the last error
// per thread, handles that are never reused, heap blocks, and the C runtime's
// secure and case-blind string functions.

#include "StandInTest.h"

#include <thread>

using namespace wintest;
using namespace simtest;

namespace
{
class Kernel : public StandInTest
{
};

TEST_F (Kernel, AnAutoResetEventReleasesOneWaitAndResets)
{
    HANDLE event = CreateEventW (nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ (WaitForSingleObject (event, 0), (DWORD) WAIT_OBJECT_0) << "made signalled";
    EXPECT_EQ (WaitForSingleObject (event, 0), (DWORD) WAIT_TIMEOUT);
    EXPECT_TRUE (SetEvent (event));
    EXPECT_TRUE (ResetEvent (event));
    EXPECT_EQ (WaitForSingleObject (event, 10), (DWORD) WAIT_TIMEOUT);
    CloseHandle (event);
}

TEST_F (Kernel, AManualResetEventStaysSetUntilReset)
{
    HANDLE event = CreateEventW (nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ (WaitForSingleObject (event, 0), (DWORD) WAIT_TIMEOUT);
    SetEvent (event);
    EXPECT_EQ (WaitForSingleObject (event, 0), (DWORD) WAIT_OBJECT_0);
    EXPECT_EQ (WaitForSingleObject (event, 0), (DWORD) WAIT_OBJECT_0);
    ResetEvent (event);
    EXPECT_EQ (WaitForSingleObject (event, 0), (DWORD) WAIT_TIMEOUT);
    CloseHandle (event);
}

TEST_F (Kernel, AnEventSetOnAnotherThreadEndsAnEndlessWait)
{
    HANDLE ready = CreateEventW (nullptr, FALSE, FALSE, nullptr);
    HANDLE go = CreateEventW (nullptr, FALSE, FALSE, nullptr);
    DWORD result = WAIT_FAILED;
    std::thread waiter (
        [&]
        {
            SetEvent (ready);
            result = WaitForSingleObject (go, INFINITE);
        });
    ASSERT_EQ (WaitForSingleObject (ready, generousMs), (DWORD) WAIT_OBJECT_0);
    SetEvent (go);
    waiter.join();
    EXPECT_EQ (result, (DWORD) WAIT_OBJECT_0);
    CloseHandle (ready);
    CloseHandle (go);
}

TEST_F (Kernel, TheLastErrorBelongsToEachThread)
{
    SetLastError (ERROR_SHARING_VIOLATION);
    DWORD seen = 1;
    std::thread (
        [&]
        {
            seen = GetLastError();
            SetLastError (ERROR_ACCESS_DENIED);
        })
        .join();
    EXPECT_EQ (seen, 0u);
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_SHARING_VIOLATION);
}

TEST_F (Kernel, AClosedHandleStaysInvalid)
{
    HANDLE first = CreateEventW (nullptr, FALSE, FALSE, nullptr);
    EXPECT_TRUE (CloseHandle (first));
    HANDLE second = CreateEventW (nullptr, FALSE, FALSE, nullptr);
    EXPECT_NE (second, first) << "handle values are not reused";

    SetLastError (0);
    EXPECT_FALSE (CloseHandle (first));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_INVALID_HANDLE);
    EXPECT_FALSE (SetEvent (first));
    EXPECT_EQ (WaitForSingleObject (first, 0), WAIT_FAILED);
    EXPECT_FALSE (CloseHandle (INVALID_HANDLE_VALUE));
    expectInvalidHandleUses (4);
    CloseHandle (second);
}

TEST_F (Kernel, GlobalBlocksAreFixedAndNotCleared)
{
    auto* block = static_cast<unsigned char*> (GlobalAlloc (GMEM_FIXED, 33));
    ASSERT_NE (block, nullptr);
    EXPECT_EQ (block[0], 0xCD);
    EXPECT_EQ (block[32], 0xCD);
    auto* zeroed = static_cast<unsigned char*> (GlobalAlloc (GPTR, 8));
    EXPECT_EQ (zeroed[7], 0);
    HGLOBAL empty = GlobalAlloc (GMEM_FIXED, 0);
    EXPECT_NE (empty, nullptr) << "a zero-length block is still a block";
    GlobalFree (empty);

    EXPECT_EQ (GlobalFree (block), nullptr);
    EXPECT_EQ (GlobalFree (zeroed), nullptr);
    SetLastError (0);
    EXPECT_EQ (GlobalFree (block), block) << "freed twice";
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_INVALID_HANDLE);
    expectInvalidHandleUses (1);

    EXPECT_EQ (GlobalAlloc (GMEM_MOVEABLE, 8), nullptr) << "movable blocks are not supported";
}

TEST_F (Kernel, WcscpyCopiesWithItsTerminator)
{
    wchar_t buffer[6];
    std::wmemset (buffer, L'#', 6);
    EXPECT_EQ (wcscpy_s (buffer, 5, L"path"), 0);
    EXPECT_EQ (std::wstring (buffer), L"path");
    EXPECT_EQ (buffer[5], L'#');

    wchar_t array[8];
    EXPECT_EQ (wcscpy_s (array, L"array"), 0) << "the array form";
    EXPECT_EQ (std::wstring (array), L"array");
}

TEST (KernelDeathTest, WcscpyIntoTooSmallABufferEndsTheProgram)
{
    wchar_t buffer[4];
    EXPECT_DEATH (wcscpy_s (buffer, 4, L"path"), "wcscpy_s: invalid parameter");
}

TEST_F (Kernel, CaseBlindComparisonFoldsAsciiLettersOnly)
{
    EXPECT_EQ (_wcsicmp (L"\\\\?\\HID#VID_7A3C", L"\\\\?\\hid#vid_7a3c"), 0);
    EXPECT_LT (_wcsicmp (L"abc", L"ABD"), 0);
    EXPECT_NE (_wcsicmp (L"\u00C4", L"\u00E4"), 0);
    EXPECT_EQ (lstrcmpiW (L"Qmhid", L"QMHID"), 0);
    EXPECT_EQ (_wcsnicmp (L"HIDx", L"hidy", 3), 0);
}
} // namespace
