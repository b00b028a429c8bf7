#include "StandInTest.h"

#include <Win32MessageBridge.h>

#include <vector>

namespace wintest
{
sim::VirtualHidBus& bus()
{
    return sim::VirtualHidBus::instance();
}

StandInTest::Counts StandInTest::countsNow()
{
    return { simwin::openHandles(),       simwin::pendingTransfers(),        simwin::liveWindows(),
             simwin::liveWindowClasses(), simwin::liveDeviceNotifications(), simwin::liveDeviceInfoSets(),
             simwin::livePreparsedData(), simwin::liveGlobalAllocations(),   simwin::liveLocalAllocations(),
             simwin::invalidHandleUses(), simwin::overlappedMisuses() };
}

void StandInTest::SetUp()
{
    ASSERT_TRUE (simwin::startMessageThreadBridge());
    simwin::clearFaults();
    bus().unplugAll();
    before = countsNow();
}

void StandInTest::TearDown()
{
    bus().unplugAll();
    simwin::clearFaults();
    const Counts after = countsNow();
    EXPECT_EQ (after.handles, before.handles) << "kernel handles were left open";
    EXPECT_EQ (after.transfers, before.transfers) << "transfers were left pending";
    EXPECT_EQ (after.windows, before.windows) << "windows were left";
    EXPECT_EQ (after.classes, before.classes) << "window classes were left";
    EXPECT_EQ (after.registrations, before.registrations) << "device notifications were left";
    EXPECT_EQ (after.sets, before.sets) << "device information sets were left";
    EXPECT_EQ (after.preparsed, before.preparsed) << "preparsed data was left";
    EXPECT_EQ (after.globals, before.globals) << "GlobalAlloc blocks were left";
    EXPECT_EQ (after.locals, before.locals) << "LocalAlloc blocks were left";
    EXPECT_EQ (after.invalid, before.invalid + invalidAllowed) << "invalid handles were used";
    EXPECT_EQ (after.misuses, before.misuses + misusesAllowed) << "OVERLAPPEDs were misused";
}

std::vector<std::wstring> interfacePaths (DWORD flags)
{
    GUID hid;
    HidD_GetHidGuid (&hid);
    std::vector<std::wstring> paths;
    HDEVINFO set = SetupDiGetClassDevsW (&hid, nullptr, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE)
        return paths;

    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof (interfaceData);
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces (set, nullptr, &hid, index, &interfaceData); ++index)
    {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW (set, &interfaceData, nullptr, 0, &required, nullptr);
        std::vector<unsigned char> block (required);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*> (block.data());
        detail->cbSize = sizeof (SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (SetupDiGetDeviceInterfaceDetailW (set, &interfaceData, detail, required, nullptr, nullptr))
            paths.emplace_back (detail->DevicePath);
    }
    SetupDiDestroyDeviceInfoList (set);
    return paths;
}

HANDLE openInterface (sim::DeviceId device, DWORD share, DWORD access, DWORD flags)
{
    return CreateFileW (simwin::interfacePathOf (device).c_str(), access, share, nullptr, OPEN_EXISTING,
                        flags, nullptr);
}

Overlapped::Overlapped()
{
    ov.hEvent = CreateEventW (nullptr, FALSE, FALSE, nullptr);
}

Overlapped::~Overlapped()
{
    CloseHandle (ov.hEvent);
}

Bytes report (std::uint8_t id, std::uint8_t first, std::size_t length)
{
    Bytes bytes (length);
    bytes[0] = id;
    for (std::size_t i = 1; i < length; ++i)
        bytes[i] = (std::uint8_t) (first + i - 1);
    return bytes;
}

Bytes data (std::uint8_t first, std::size_t length)
{
    Bytes bytes (length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = (std::uint8_t) (first + i);
    return bytes;
}
} // namespace wintest
