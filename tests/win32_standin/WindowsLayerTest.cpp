// The Win32 patterns of the updater's Windows layer (WindowsLayerProbe) over
// the simulated platform: enumeration that holds what it opens, reports with
// time-outs that leave nothing pending, and a notification window on the
// message thread.

#include "StandInTest.h"

#include "TestSupport.h"
#include "WindowsLayerProbe.h"

#include <dbt.h>

using namespace wintest;
using namespace simtest;

namespace
{
class WindowsLayer : public StandInTest
{
};

std::vector<std::pair<int, std::wstring>> notified; ///< on the message thread only

void noteDevice (int kind, const wchar_t* path)
{
    notified.emplace_back (kind, path);
}

TEST_F (WindowsLayer, EnumerationHoldsEveryMatchingInterfaceExclusively)
{
    const auto first = plugEcho (controllerDescription (0x7A3C, 0x6102));
    plugEcho (controllerDescription (0x1234, 0x0001));
    plugEcho (controllerDescription (0x7A3C, 0x6109));
    auto refusing = controllerDescription (0x7A3C, 0x6102);
    refusing.canOpen = false;
    plugEcho (refusing);

    HANDLE handles[4] = {};
    ASSERT_EQ (probe::openInterfacesOfVendor (0x7A3C, handles, 4), 2);
    int inputLength = 0, outputLength = 0;
    EXPECT_TRUE (probe::reportLengths (handles[0], &inputLength, &outputLength));
    EXPECT_EQ (inputLength, 33);
    EXPECT_EQ (outputLength, 33);

    HANDLE again[4] = {};
    EXPECT_EQ (probe::openInterfacesOfVendor (0x7A3C, again, 4), 0) << "both are held with share mode 0";
    EXPECT_EQ (probe::openShared (simwin::interfacePathOf (first).c_str()), nullptr);
    CloseHandle (handles[0]);
    HANDLE shared = probe::openShared (simwin::interfacePathOf (first).c_str());
    EXPECT_NE (shared, nullptr) << "released, it opens again";
    CloseHandle (shared);
    CloseHandle (handles[1]);
}

TEST_F (WindowsLayer, ReportsCrossWithTimeOutsAndLeaveNothingPending)
{
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    HANDLE file = probe::openShared (simwin::interfacePathOf (device).c_str());
    ASSERT_NE (file, nullptr);
    const auto transfersBefore = simwin::pendingTransfers();

    Bytes out = report (0, 1);
    EXPECT_EQ (probe::writeReport (file, out.data(), 33, generousMs), 0);
    Bytes in (33);
    EXPECT_EQ (probe::readReport (file, in.data(), 33, generousMs), 0);
    EXPECT_EQ (in, out) << "the echo";

    EXPECT_EQ (probe::readReport (file, in.data(), 33, 20), (int) ERROR_IO_INCOMPLETE);
    EXPECT_EQ (simwin::pendingTransfers(), transfersBefore);
    model->setRefusing (true);
    EXPECT_EQ (probe::writeReport (file, out.data(), 33, 20), (int) ERROR_IO_INCOMPLETE);
    EXPECT_EQ (simwin::pendingTransfers(), transfersBefore);

    bus().unplug (device);
    EXPECT_EQ (probe::writeReport (file, out.data(), 33, generousMs), (int) ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ (probe::readReport (file, in.data(), 33, generousMs), (int) ERROR_DEVICE_NOT_CONNECTED);
    CloseHandle (file);
}

TEST_F (WindowsLayer, TheNotificationWindowHearsInterfaceEventsOnTheMessageThread)
{
    notified.clear();
    plugEcho();
    HDEVNOTIFY notification = nullptr;
    HWND window = probe::makeNotificationWindow (noteDevice, &notification);
    ASSERT_NE (window, nullptr);

    const auto device = plugEcho();
    EXPECT_TRUE (ulktest::pumpUntil ([] { return !notified.empty(); }));
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof (volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    simwin::broadcastDeviceChange (DBT_DEVICEARRIVAL, reinterpret_cast<DEV_BROADCAST_HDR*> (&volume));
    simwin::broadcastDeviceChange (DBT_DEVNODES_CHANGED, nullptr);
    bus().unplug (device);
    EXPECT_TRUE (ulktest::pumpUntil ([] { return notified.size() >= 2; }));

    ASSERT_EQ (notified.size(), 2u) << "no call for the device present before, the volume or the node change";
    EXPECT_EQ (notified[0].first, 0);
    EXPECT_EQ (notified[1].first, 1);
    EXPECT_EQ (_wcsicmp (notified[0].second.c_str(), simwin::interfacePathOf (device).c_str()), 0);
    EXPECT_EQ (notified[1].second, notified[0].second);

    UnregisterDeviceNotification (notification);
    DestroyWindow (window);
    UnregisterClassW (L"ProbeNotification", GetModuleHandleW (nullptr));
}
} // namespace
