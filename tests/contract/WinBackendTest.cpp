// The Windows backend's own rows, over the simulated Windows platform: sharing
// of opened interfaces, report ID framing, transfers that time out or fail,
// interfaces without room for a report ID, and the notification window.

#include "ContractDevice.h"
#include "TestPlatform.h"
#include "TestSupport.h"

#include <qmhid_HIDDevice.h>
#include <qmhid_HIDTransmission.h>

#include <windows.h>

#include <dbt.h>
#include <sim_win32/Win32StandIn.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace contract;
using qmhid::HIDDevice;
using qmhid::HIDDeviceIdentifier;

namespace
{
constexpr int incomplete = 996;
constexpr int notConnected = 1167;

int openByPath (const std::string& path, HIDDevice** device)
{
    HIDDeviceIdentifier identifier;
    ulktest::platform::initIdentifier (identifier, path);
    return HIDDevice::createFrom (&identifier, device);
}

HIDDevice* open (const std::shared_ptr<ContractDevice>& d)
{
    HIDDevice* device = nullptr;
    EXPECT_EQ (openByPath (ulktest::platform::identifierPathOf (d->id()), &device), 0);
    return device;
}

struct Heard
{
    std::vector<std::pair<int, std::string>> events;

    static void callback (int kind, HIDDeviceIdentifier* identifier, void* self)
    {
        static_cast<Heard*> (self)->events.emplace_back (kind, ulktest::platform::pathOf (*identifier));
    }
};

class WinBackend : public testing::Test
{
protected:
    WinBackend()
        : allocationsBefore (simwin::liveGlobalAllocations())
        , transfersBefore (simwin::pendingTransfers())
    {
    }

    ~WinBackend() override
    {
        simwin::clearFaults();
        HIDDevice::setDeviceNotificationCallback (nullptr, nullptr);
        sim::VirtualHidBus::instance().unplugAll();
        ulktest::pumpFor (50);
        EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);
        EXPECT_EQ (simwin::liveGlobalAllocations(), allocationsBefore);
        EXPECT_EQ (simwin::pendingTransfers(), transfersBefore);
        EXPECT_EQ (simwin::liveDeviceInfoSets(), 0u);
        EXPECT_EQ (simwin::livePreparsedData(), 0u);
        EXPECT_EQ (simwin::invalidHandleUses(), 0u);
        EXPECT_EQ (simwin::overlappedMisuses(), 0u);
    }

    size_t allocationsBefore;
    size_t transfersBefore;
};
} // namespace

TEST_F (WinBackend, FindHoldsAnInterfaceExclusivelyAndCreateFromShares)
{
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    const auto path = ulktest::platform::identifierPathOf (d->id());

    HIDDevice* found = nullptr;
    ASSERT_EQ (HIDDevice::findDevice (0x7A3C, &found), 0);
    HIDDevice* other = nullptr;
    EXPECT_EQ (HIDDevice::findDevice (0x7A3C, &other), 1); // held: skipped
    EXPECT_EQ (openByPath (path, &other), 1);
    found->release();

    // Released, the interface opens again; opened shared it can be shared.
    HIDDevice* shared = nullptr;
    ASSERT_EQ (openByPath (path, &shared), 0);
    HIDDevice* second = nullptr;
    ASSERT_EQ (openByPath (path, &second), 0);
    EXPECT_EQ (HIDDevice::findDevice (0x7A3C, &other), 1); // no exclusive open beside them
    second->release();
    shared->release();
}

TEST_F (WinBackend, ReportsCrossWithAReportIdByteTheCallerNeverSees)
{
    sim::DeviceDescription description;
    description.outputReportBytes = 16;
    auto d = ContractDevice::plug (0x7A3C, 0x6102, description);
    d->setEcho (true);
    HIDDevice* device = open (d);

    // At most the output report's data bytes go out; a shorter send leaves
    // the rest as the buffer held it.  The echoes come back without the
    // report ID.
    const Bytes first (32, 0xAA);
    const Bytes second (4, 0x55);
    Bytes buffer (32, 0x11);
    ASSERT_EQ (device->send (first.data(), 32, 100), 0);
    ASSERT_EQ (device->get (buffer.data(), 32, 1000), 0);
    EXPECT_EQ (Bytes (buffer.begin(), buffer.begin() + 16), Bytes (16, 0xAA));
    ASSERT_EQ (device->send (second.data(), 4, 100), 0);
    ASSERT_EQ (device->get (buffer.data(), 32, 1000), 0);
    Bytes expected (16, 0xAA);
    std::fill (expected.begin(), expected.begin() + 4, 0x55);
    EXPECT_EQ (Bytes (buffer.begin(), buffer.begin() + 16), expected);
    ASSERT_EQ (d->written().size(), 2u);
    EXPECT_EQ (d->written()[0], Bytes (16, 0xAA));
    EXPECT_EQ (d->written()[1], expected);
    device->release();
}

TEST_F (WinBackend, ATimedOutTransferIsEndedBeforeTheCallReturns)
{
    auto quiet = ContractDevice::plug (0x7A3C, 0x6102);
    HIDDevice* device = open (quiet);
    Bytes buffer (32, 0x5A);

    EXPECT_EQ (device->get (buffer.data(), 32, 30), incomplete);
    EXPECT_EQ (buffer, Bytes (32, 0x5A));
    EXPECT_EQ (simwin::pendingTransfers(), transfersBefore);

    // A report that comes later is the next get's, not the abandoned one's.
    quiet->sendInput (reportOf (3));
    EXPECT_EQ (device->get (buffer.data(), 32, 1000), 0);
    EXPECT_EQ (buffer, reportOf (3));

    device->release();
}

TEST_F (WinBackend, WithoutAnEventATransferStillEnds)
{
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    HIDDevice* device = open (d);
    simwin::injectFault (simwin::Call::createEvent);

    // Without an event the wait returns at once: a write still in its USB
    // frame then counts as not done, though the report went out.
    Bytes buffer (32, 0x5A);
    EXPECT_EQ (device->get (buffer.data(), 32, 30), incomplete);
    const Bytes report = reportOf (1);
    EXPECT_EQ (device->send (report.data(), 32, 100), incomplete);
    EXPECT_EQ (d->written().size(), 1u);
    EXPECT_EQ (simwin::pendingTransfers(), transfersBefore);
    simwin::clearFaults();
    device->release();
}

TEST_F (WinBackend, PlatformErrorsPassUnchanged)
{
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    HIDDevice* device = open (d);
    const Bytes report = reportOf (1);

    simwin::injectFault (simwin::Call::writeFile, { 0, 1, 0, 3 });
    EXPECT_EQ (device->send (report.data(), 32, 100), 3); // ERROR_PATH_NOT_FOUND, the NAK's number

    // Through the transmission a 3 on the last block reads as a NAK.
    qmhid::HIDTransmission transmission (device);
    simwin::injectFault (simwin::Call::writeFile, { 0, 1, 0, 3 });
    qmhid::VersionUpDataResult result{};
    EXPECT_EQ (transmission.sendVersionUpData (qmhid::HIDTransmission::End, report.data(), 29, &result), 3);

    d->unplug();
    Bytes buffer (32, 0x5A);
    EXPECT_EQ (device->send (report.data(), 32, 100), notConnected);
    EXPECT_EQ (device->get (buffer.data(), 32, 100), notConnected);
    EXPECT_EQ (buffer, Bytes (32, 0x5A));
    device->release();
}

TEST_F (WinBackend, AnInterfaceWithoutRoomForAReportIdMovesNothing)
{
    sim::DeviceDescription description;
    description.inputReportBytes = 0;
    description.outputReportBytes = 0;
    auto d = ContractDevice::plug (0x7A3C, 0x6102, description);
    HIDDevice* device = open (d);
    ASSERT_NE (device, nullptr);

    const Bytes report = reportOf (1);
    Bytes buffer (32, 0x5A);
    EXPECT_NE (device->send (report.data(), 32, 100), 0);
    EXPECT_NE (device->get (buffer.data(), 32, 100), 0);
    EXPECT_EQ (buffer, Bytes (32, 0x5A));
    EXPECT_TRUE (d->written().empty());
    device->release();
}

TEST_F (WinBackend, OpeningFailuresAreSkippedAndLeaveNothingBehind)
{
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    const auto path = ulktest::platform::identifierPathOf (d->id());
    for (const auto call :
         { simwin::Call::setupDiGetClassDevs, simwin::Call::setupDiGetDeviceInterfaceDetail,
           simwin::Call::createFile, simwin::Call::hidDGetAttributes, simwin::Call::hidDGetPreparsedData,
           simwin::Call::hidPGetCaps, simwin::Call::globalAlloc })
    {
        SCOPED_TRACE ((int) call);
        simwin::injectFault (call);
        HIDDevice* device = nullptr;
        EXPECT_EQ (HIDDevice::findDevice (0x7A3C, &device), 1);
        if (call != simwin::Call::setupDiGetClassDevs &&
            call != simwin::Call::setupDiGetDeviceInterfaceDetail)
        {
            EXPECT_EQ (openByPath (path, &device), 1);
        }
        EXPECT_EQ (device, nullptr);
        EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);
        simwin::clearFaults();
    }
}

TEST_F (WinBackend, PathsCompareWithoutRegardToCase)
{
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    HIDDevice* device = open (d);
    const auto path = ulktest::platform::identifierPathOf (d->id());

    for (auto transform : { ::tolower, ::toupper })
    {
        std::string changed = path;
        for (auto& c : changed)
            c = (char) transform ((unsigned char) c);
        HIDDeviceIdentifier identifier;
        ulktest::platform::initIdentifier (identifier, changed);
        EXPECT_TRUE (device->compare (&identifier)) << changed;
    }

    HIDDeviceIdentifier empty;
    EXPECT_FALSE (device->compare (&empty));
    device->release();
}

TEST_F (WinBackend, OtherBroadcastsGetDefaultProcessingAndNoCallback)
{
    Heard heard;
    HIDDevice::setDeviceNotificationCallback (Heard::callback, &heard);
    HIDDevice::setDeviceNotificationCallback (Heard::callback, &heard);
    EXPECT_EQ (simwin::liveWindows(), 1u); // one window, however often one registers
    EXPECT_EQ (simwin::liveDeviceNotifications(), 1u);

    DEV_BROADCAST_HDR volume;
    std::memset (&volume, 0, sizeof (volume));
    volume.dbch_size = sizeof (volume);
    volume.dbch_devicetype = DBT_DEVTYP_VOLUME;
    const auto defaultBefore = simwin::defaultProcessed (WM_DEVICECHANGE, DBT_DEVNODES_CHANGED);

    EXPECT_EQ (simwin::broadcastDeviceChange (DBT_DEVICEARRIVAL, &volume), 1);
    EXPECT_EQ (simwin::broadcastDeviceChange (DBT_DEVNODES_CHANGED, nullptr), 1);
    ulktest::pumpFor (50);
    EXPECT_TRUE (heard.events.empty());
    EXPECT_EQ (simwin::defaultProcessed (WM_DEVICECHANGE, DBT_DEVNODES_CHANGED), defaultBefore + 1);
}

TEST (WinBackendDeathTest, AFailedSetUpIsIgnoredAndNeverTriedAgain)
{
    for (const auto call : { simwin::Call::registerClassEx, simwin::Call::createWindowEx,
                             simwin::Call::registerDeviceNotification })
    {
        SCOPED_TRACE ((int) call);
        // The set-up happens once per process.
        EXPECT_EXIT (
            {
                simwin::injectFault (call);
                Heard heard;
                const int first = HIDDevice::setDeviceNotificationCallback (Heard::callback, &heard);
                simwin::clearFaults();
                const int second = HIDDevice::setDeviceNotificationCallback (Heard::callback, &heard);
                auto d = ContractDevice::plug (0x7A3C, 0x6102);
                ulktest::pumpFor (100);
                std::_Exit (first == 0 && second == 0 && heard.events.empty() ? 0 : 1);
            },
            testing::ExitedWithCode (0), "");
    }
}
