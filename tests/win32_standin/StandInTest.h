#pragma once

// What the stand-in's tests share: a fixture that checks that every test gives
// back what it took, and the small Win32 rituals the tests repeat.

#include <windows.h>

#include <EchoDevice.h>

#include <hidsdi.h>
#include <setupapi.h>
#include <sim_win32/Win32StandIn.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wintest
{
using simtest::Bytes;
using simtest::controllerDescription;
using simtest::EchoDevice;
using simtest::plugEcho;

/** Waits are generous: they only bound a failing test. */
constexpr DWORD generousMs = 5000;

sim::VirtualHidBus& bus();

/** Starts the message-thread bridge; afterwards checks that the bus is empty
    and that no handle, block, set, preparsed data, window, registration or
    transfer was left behind or misused. */
class StandInTest : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /** The test misuses handles or OVERLAPPEDs on purpose, this often. */
    void expectInvalidHandleUses (std::size_t count) { invalidAllowed += count; }
    void expectOverlappedMisuses (std::size_t count) { misusesAllowed += count; }

private:
    struct Counts
    {
        std::size_t handles, transfers, windows, classes, registrations, sets, preparsed, globals, locals,
            invalid, misuses;
    };
    static Counts countsNow();

    Counts before{};
    std::size_t invalidAllowed = 0;
    std::size_t misusesAllowed = 0;
};

/** The SetupAPI paths of the interfaces of a device information set made
    with these flags, read with the two-call detail pattern. */
std::vector<std::wstring> interfacePaths (DWORD flags = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);

/** Opens a device's interface as the backend does (overlapped). */
HANDLE openInterface (sim::DeviceId device, DWORD share = 0, DWORD access = GENERIC_READ | GENERIC_WRITE,
                      DWORD flags = FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL);

/** An OVERLAPPED with an auto-reset event of its own, as the backend makes
    them; the event is closed with it. */
struct Overlapped
{
    Overlapped();
    ~Overlapped();

    OVERLAPPED ov{};
};

/** id, then data bytes first, first + 1, ... up to length bytes in all. */
Bytes report (std::uint8_t id, std::uint8_t first, std::size_t length = 33);

/** The 32 data bytes first, first + 1, ... */
Bytes data (std::uint8_t first, std::size_t length = 32);
} // namespace wintest
