// The contract of qmhid::HIDDevice that every backend meets, written against
// the interface alone: finding and opening devices, identities, reports,
// arrivals and removals.  Where the backends may differ the platform says how.

#include "ContractDevice.h"
#include "TestPlatform.h"
#include "TestSupport.h"

#include <qmhid_HIDDevice.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace contract;
using qmhid::HIDDevice;
using qmhid::HIDDeviceIdentifier;

namespace
{
HIDDevice* const untouched = reinterpret_cast<HIDDevice*> (0x1);

/** What the notification callback heard. */
struct Heard
{
    std::vector<std::pair<int, std::string>> events;

    static void callback (int kind, HIDDeviceIdentifier* identifier, void* self)
    {
        static_cast<Heard*> (self)->events.emplace_back (kind, ulktest::platform::pathOf (*identifier));
    }
};

int openByPath (const std::string& path, HIDDevice** device)
{
    HIDDeviceIdentifier identifier;
    ulktest::platform::initIdentifier (identifier, path);
    return HIDDevice::createFrom (&identifier, device);
}

bool names (HIDDevice* device, const std::string& path)
{
    HIDDeviceIdentifier identifier;
    ulktest::platform::initIdentifier (identifier, path);
    return device->compare (&identifier);
}

/** Lets reports sent by a device reach the backend's side. */
void letReportsArrive()
{
    std::this_thread::sleep_for (std::chrono::milliseconds (200));
}

class HIDDeviceContract : public testing::Test
{
protected:
    ~HIDDeviceContract() override
    {
        HIDDevice::setDeviceNotificationCallback (nullptr, nullptr);
        sim::VirtualHidBus::instance().unplugAll();
        ulktest::pumpFor (50);
        EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);
    }

    static sim::DeviceDescription refusing()
    {
        sim::DeviceDescription d;
        d.canOpen = false;
        return d;
    }
};
} // namespace

TEST_F (HIDDeviceContract, FindingTheFirstDeviceOfAVendor)
{
    auto keyboard = ContractDevice::plug (0x05AC, 0x0220);

    HIDDevice* device = untouched;
    EXPECT_EQ (HIDDevice::findDevice (0x7A3C, &device), 1);
    EXPECT_EQ (device, untouched);
    EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);

    auto first = ContractDevice::plug (0x7A3C, 0x6109);
    auto second = ContractDevice::plug (0x7A3C, 0x6102);
    ASSERT_EQ (HIDDevice::findDevice (0x7A3C, &device), 0);
    ASSERT_NE (device, untouched);
    EXPECT_EQ (device->vendorId, 0x7A3C);
    EXPECT_EQ (device->productId, 0x6109);
    EXPECT_TRUE (names (device, ulktest::platform::identifierPathOf (first->id())));
    // The other one was closed again at once.
    EXPECT_EQ (ulktest::platform::openDeviceCount(), 1);

    device->release();
    EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);
}

TEST_F (HIDDeviceContract, TheListFormFiltersByVendorAndProduct)
{
    auto a = ContractDevice::plug (0x7A3C, 0x6102);
    auto b = ContractDevice::plug (0xFF00, 0x6109);
    auto c = ContractDevice::plug (0x7A3C, 0x6109);
    auto keyboard = ContractDevice::plug (0x05AC, 0x0220);
    auto locked = ContractDevice::plug (0x7A3C, 0x6102, refusing());

    struct Case
    {
        std::vector<int> vendors;
        std::vector<int> products; ///< empty: no product list
        std::vector<std::shared_ptr<ContractDevice>> expected;
    };

    const Case cases[] = {
        { { 0x7A3C }, {}, { a, c } },
        { { 0x7A3C, 0xFF00 }, {}, { a, b, c } },
        { { 0x7A3C }, { 0x6109 }, { c } },
        { { 0xFF00, 0x7A3C }, { 0x6109, 0x6102 }, { a, b } },
        { { 0x1234 }, {}, {} },
        // One opened device for every device present, however many entries
        // it matches.
        { { 0x7A3C, 0x7A3C }, {}, { a, c } },
        { { 0x7A3C, 0x7A3C, 0xFF00 }, { 0x6102, 0x6102, 0x6109 }, { a, b } },
    };

    for (const auto& test : cases)
    {
        std::vector<HIDDevice*> found (3, nullptr); // emptied first
        const int code = HIDDevice::findDevice (test.vendors.data(),
                                                test.products.empty() ? nullptr : test.products.data(),
                                                (int) test.vendors.size(), &found);
        EXPECT_EQ (code, test.expected.empty() ? 1 : 0);
        EXPECT_EQ (ulktest::platform::openDeviceCount(), (int) found.size());
        ASSERT_EQ (found.size(), test.expected.size());
        for (size_t i = 0; i < found.size(); ++i)
        {
            EXPECT_TRUE (names (found[i], ulktest::platform::identifierPathOf (test.expected[i]->id()))) << i;
            found[i]->release();
        }
    }
}

TEST_F (HIDDeviceContract, CreateFromOpensAnyDeviceThatOpens)
{
    auto keyboard = ContractDevice::plug (0x05AC, 0x0220);
    auto locked = ContractDevice::plug (0x7A3C, 0x6102, refusing());

    HIDDevice* device = untouched;
    ASSERT_EQ (openByPath (ulktest::platform::identifierPathOf (keyboard->id()), &device), 0);
    EXPECT_EQ (device->vendorId, 0x05AC);
    EXPECT_EQ (device->productId, 0x0220);
    device->release();

    device = untouched;
    EXPECT_EQ (openByPath (ulktest::platform::identifierPathOf (locked->id()), &device), 1);
    EXPECT_EQ (device, untouched);

    const auto gonePath = ulktest::platform::identifierPathOf (keyboard->id());
    keyboard->unplug();
    EXPECT_EQ (openByPath (gonePath, &device), 1);
    EXPECT_EQ (openByPath ("no such device", &device), 1);
    EXPECT_EQ (device, untouched);
}

TEST_F (HIDDeviceContract, CompareTellsADeviceFromAnother)
{
    auto a = ContractDevice::plug (0x7A3C, 0x6102);
    auto b = ContractDevice::plug (0x7A3C, 0x6102);
    HIDDevice* device = nullptr;
    ASSERT_EQ (openByPath (ulktest::platform::identifierPathOf (a->id()), &device), 0);

    EXPECT_TRUE (names (device, ulktest::platform::identifierPathOf (a->id())));
    EXPECT_FALSE (names (device, ulktest::platform::identifierPathOf (b->id())));
    EXPECT_FALSE (names (device, ""));
    device->release();
}

TEST_F (HIDDeviceContract, ReportsGoOutAndComeBack)
{
    auto echo = ContractDevice::plug (0x7A3C, 0x6102);
    echo->setEcho (true);
    HIDDevice* device = nullptr;
    ASSERT_EQ (openByPath (ulktest::platform::identifierPathOf (echo->id()), &device), 0);

    Bytes sent (32);
    for (int i = 0; i < 32; ++i)
        sent[(size_t) i] = (std::uint8_t) (0xA0 + i);
    EXPECT_EQ (device->send (sent.data(), 32, 100), 0);
    EXPECT_EQ (echo->written(), std::vector<Bytes>{ sent });

    Bytes received (32, 0);
    EXPECT_EQ (device->get (received.data(), 32, 1000), 0);
    EXPECT_EQ (received, sent);
    device->release();
}

TEST_F (HIDDeviceContract, AGetWithoutAReportTimesOutAndLeavesTheBufferAlone)
{
    auto quiet = ContractDevice::plug (0x7A3C, 0x6102);
    HIDDevice* device = nullptr;
    ASSERT_EQ (openByPath (ulktest::platform::identifierPathOf (quiet->id()), &device), 0);

    Bytes buffer (32, 0x5A);
    EXPECT_EQ (device->get (buffer.data(), 32, 50), ulktest::platform::timeoutCode());
    EXPECT_EQ (buffer, Bytes (32, 0x5A));
    device->release();
}

TEST_F (HIDDeviceContract, AnUnpluggedDeviceFailsButCanStillBeReleased)
{
    auto gone = ContractDevice::plug (0x7A3C, 0x6102);
    HIDDevice* device = nullptr;
    ASSERT_EQ (openByPath (ulktest::platform::identifierPathOf (gone->id()), &device), 0);
    gone->unplug();

    const Bytes report = reportOf (1);
    EXPECT_NE (device->send (report.data(), 32, 100), 0);
    Bytes buffer (32, 0x5A);
    EXPECT_NE (device->get (buffer.data(), 32, 50), 0);
    EXPECT_EQ (buffer, Bytes (32, 0x5A));
    device->release();
    EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);
}

TEST_F (HIDDeviceContract, ReleasingClosesSoTheDeviceOpensAgain)
{
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    for (int round = 0; round < 3; ++round)
    {
        HIDDevice* device = nullptr;
        ASSERT_EQ (HIDDevice::findDevice (0x7A3C, &device), 0);
        EXPECT_EQ (ulktest::platform::openDeviceCount(), 1);
        device->release();
        EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);
    }
}

TEST_F (HIDDeviceContract, EarlyAndSeveralReports)
{
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    HIDDevice* device = nullptr;
    ASSERT_EQ (openByPath (ulktest::platform::identifierPathOf (d->id()), &device), 0);
    Bytes buffer (32, 0);
    const Bytes request = reportOf (0x10);

    // A report that came before a request.
    d->sendInput (reportOf (1));
    letReportsArrive();
    ASSERT_EQ (device->send (request.data(), 32, 100), 0);
    const int code = device->get (buffer.data(), 32, 100);
    if (ulktest::platform::sendDropsEarlierReports())
    {
        EXPECT_EQ (code, ulktest::platform::timeoutCode());
    }
    else
    {
        EXPECT_EQ (code, 0);
        EXPECT_EQ (buffer, reportOf (1));
    }

    // Two reports before a get.
    d->sendInput (reportOf (2));
    d->sendInput (reportOf (3));
    letReportsArrive();
    ASSERT_EQ (device->get (buffer.data(), 32, 1000), 0);
    EXPECT_EQ (buffer, reportOf (ulktest::platform::getTakesNewestReport() ? 3 : 2));
    device->release();
}

TEST_F (HIDDeviceContract, ArrivalsAreReportedOnceRegistered)
{
    Heard heard;
    auto before = ContractDevice::plug (0x7A3C, 0x6102);
    ulktest::pumpFor (50);

    EXPECT_EQ (HIDDevice::setDeviceNotificationCallback (Heard::callback, &heard), 0);
    ulktest::pumpFor (50);
    EXPECT_TRUE (heard.events.empty()); // nothing for a device that was there before

    auto controller = ContractDevice::plug (0x7A3C, 0x6109);
    auto keyboard = ContractDevice::plug (0x05AC, 0x0220);
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return heard.events.size() == 2; }));
    ulktest::pumpFor (50);
    ASSERT_EQ (heard.events.size(), 2u);
    EXPECT_EQ (heard.events[0], std::make_pair (0, ulktest::platform::identifierPathOf (controller->id())));
    EXPECT_EQ (heard.events[1], std::make_pair (0, ulktest::platform::identifierPathOf (keyboard->id())));

    // The identifier of an arrival opens the device.
    HIDDevice* device = nullptr;
    ASSERT_EQ (openByPath (heard.events[0].second, &device), 0);
    EXPECT_EQ (device->productId, 0x6109);
    device->release();
}

TEST_F (HIDDeviceContract, RemovalsOfOpenedDevicesAreReported)
{
    Heard heard;
    auto opened = ContractDevice::plug (0x7A3C, 0x6102);
    auto notOpened = ContractDevice::plug (0x05AC, 0x0220);
    HIDDevice* device = nullptr;
    const auto path = ulktest::platform::identifierPathOf (opened->id());
    const auto otherPath = ulktest::platform::identifierPathOf (notOpened->id());
    ASSERT_EQ (openByPath (path, &device), 0);
    ulktest::pumpFor (50); // their arrivals go by before anyone listens
    HIDDevice::setDeviceNotificationCallback (Heard::callback, &heard);

    opened->unplug();
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return !heard.events.empty(); }));
    EXPECT_EQ (heard.events[0], std::make_pair (1, path));
    EXPECT_TRUE (names (device, heard.events[0].second));

    notOpened->unplug();
    ulktest::pumpFor (100);
    if (ulktest::platform::reportsRemovalsOfUnopenedDevices())
    {
        ASSERT_EQ (heard.events.size(), 2u);
        EXPECT_EQ (heard.events[1], std::make_pair (1, otherPath));
        EXPECT_FALSE (names (device, otherPath));
    }
    else
    {
        EXPECT_EQ (heard.events.size(), 1u);
    }
    device->release();
}

TEST_F (HIDDeviceContract, ANullCallbackSilencesEverything)
{
    Heard heard, later;
    HIDDevice::setDeviceNotificationCallback (Heard::callback, &heard);
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return heard.events.size() == 1; }));
    HIDDevice* device = nullptr;
    ASSERT_EQ (openByPath (heard.events[0].second, &device), 0);

    EXPECT_EQ (HIDDevice::setDeviceNotificationCallback (nullptr, nullptr), 0);
    auto another = ContractDevice::plug (0x7A3C, 0x6109);
    d->unplug();
    ulktest::pumpFor (100);
    EXPECT_EQ (heard.events.size(), 1u);

    // Registering again delivers to the new callback.
    HIDDevice::setDeviceNotificationCallback (Heard::callback, &later);
    auto third = ContractDevice::plug (0x7A3C, 0x6102);
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return !later.events.empty(); }));
    EXPECT_EQ (later.events.back(), std::make_pair (0, ulktest::platform::identifierPathOf (third->id())));
    EXPECT_EQ (heard.events.size(), 1u);
    device->release();
}
