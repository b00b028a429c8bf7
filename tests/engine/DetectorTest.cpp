// UlkDeviceDetector: arrivals and removals of controllers and other HID
// devices, the start-up probe and unregistering.

#include "EngineTestSupport.h"

#include <UlkDeviceDetector.h>

using namespace enginetest;
using sim::ControllerIdentity;

namespace
{
/** What the detector handed over. */
struct Receiver
{
    std::vector<UlkDeviceInfo> arrivals;
    std::vector<std::string> removals;
    std::vector<UlkDevice::Ptr> kept;
    bool keep = false;

    static void arrived (UlkDevice::Ptr device, void* userData)
    {
        auto* self = static_cast<Receiver*> (userData);
        self->arrivals.push_back (device->getDeviceInfo());
        if (self->keep)
            self->kept.push_back (device);
    }

    static void removed (qmhid::HIDDeviceIdentifier* identifier, void* userData)
    {
        static_cast<Receiver*> (userData)->removals.push_back (ulktest::platform::pathOf (*identifier));
    }

    void attach (UlkDeviceDetector& detector)
    {
        detector.setDeviceArrivalCallback (arrived, this);
        detector.setDeviceRemovalCallback (removed, this);
    }
};

/** A device of another kind: a keyboard, say, that answers nothing. */
class SilentDevice : public sim::DeviceModel
{
public:
    bool outputReport (sim::DeviceLink&, const std::uint8_t*, std::size_t) override { return true; }
};

sim::DeviceId plugKeyboard (bool canOpen = true)
{
    sim::DeviceDescription d;
    d.productName = "Keyboard";
    d.vendorId = 0x05AC;
    d.productId = 0x0220;
    d.inputReportBytes = 8;
    d.outputReportBytes = 1;
    d.canOpen = canOpen;
    return sim::VirtualHidBus::instance().plug (std::make_shared<SilentDevice>(), d);
}

class Detector : public BusTest
{
protected:
    ~Detector() override { ulktest::pumpFor (20); }

    /** Lets the posted notifications arrive. */
    static void settle() { ulktest::pumpFor (50); }
};
} // namespace

TEST_F (Detector, ControllersArriveAndEveryRemovalIsHandedOn)
{
    UlkDeviceDetector detector;
    Receiver receiver;
    receiver.keep = true;
    receiver.attach (detector);
    detector.startDetect();
    EXPECT_TRUE (detector.isDetecting());

    auto km3300 = plugController();
    auto other = plugController (ControllerIdentity::km3800 (ControllerIdentity::normalMode));
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return receiver.arrivals.size() == 2; }));

    EXPECT_EQ (receiver.arrivals[0].productId, 0x6102);
    EXPECT_EQ (receiver.arrivals[0].operationMode, 2);
    EXPECT_EQ (receiver.arrivals[1].productId, 0x6109);
    EXPECT_EQ (receiver.arrivals[1].operationMode, ControllerIdentity::normalMode);

    const auto km3300Path = ulktest::platform::identifierPathOf (km3300->deviceId());
    km3300->unplug();
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return receiver.removals.size() == 1; }));
    EXPECT_EQ (receiver.removals[0], km3300Path);

    // The identifier of a removal names the controller it came from.
    qmhid::HIDDeviceIdentifier identifier;
    ulktest::platform::initIdentifier (identifier, receiver.removals[0]);
    EXPECT_TRUE (receiver.kept[0]->equalId (&identifier));
    EXPECT_FALSE (receiver.kept[1]->equalId (&identifier));
}

TEST_F (Detector, ForeignDevicesAreOpenedClosedAndNotHandedOver)
{
    UlkDeviceDetector detector;
    Receiver receiver;
    receiver.attach (detector);
    detector.startDetect();

    const auto keyboard = plugKeyboard();
    plugKeyboard (false); // one that refuses to open
    auto foreignVendor = ControllerIdentity::km3300();
    foreignVendor.vendorId = 0x1234;
    plugController (foreignVendor);
    auto otherVendor = ControllerIdentity::km3300();
    otherVendor.vendorId = 0xFF00;
    plugController (otherVendor);

    ASSERT_TRUE (ulktest::pumpUntil ([&] { return !receiver.arrivals.empty(); }));
    settle();
    ASSERT_EQ (receiver.arrivals.size(), 1u);
    EXPECT_EQ (receiver.arrivals[0].vendorId, 0xFF00);
    EXPECT_EQ (ulktest::platform::openDeviceCount(), 0); // nobody kept anything

    // The removal of a device nobody holds reaches the receiver where the
    // platform reports it.
    const auto keyboardPath = ulktest::platform::identifierPathOf (keyboard);
    sim::VirtualHidBus::instance().unplug (keyboard);
    if (ulktest::platform::reportsRemovalsOfUnopenedDevices())
    {
        ASSERT_TRUE (ulktest::pumpUntil ([&] { return receiver.removals.size() == 1; }));
        EXPECT_EQ (receiver.removals[0], keyboardPath);
    }
    else
    {
        settle();
        EXPECT_TRUE (receiver.removals.empty());
    }
}

TEST_F (Detector, WithoutAnArrivalCallbackNothingIsOpened)
{
    UlkDeviceDetector detector;
    Receiver receiver;
    detector.setDeviceRemovalCallback (Receiver::removed, &receiver);
    detector.startDetect();

    auto controller = plugController();
    settle();
    EXPECT_TRUE (requestKinds (*controller).empty());
    EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);
}

TEST_F (Detector, DevicesPresentBeforeDetectionStartsBringNoArrival)
{
    auto early = plugController();
    settle();

    UlkDeviceDetector detector;
    Receiver receiver;
    receiver.attach (detector);
    detector.startDetect();
    settle();
    EXPECT_TRUE (receiver.arrivals.empty());

    auto late = plugController();
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return receiver.arrivals.size() == 1; }));
    settle();
    EXPECT_EQ (receiver.arrivals.size(), 1u);
}

TEST_F (Detector, TheProbeHandsOverTheFirstControllerOfVendor7A3C)
{
    auto otherVendor = ControllerIdentity::km3800();
    otherVendor.vendorId = 0xFF00;
    auto notProbed = plugController (otherVendor);
    auto first = plugController (ControllerIdentity::km3800());
    auto second = plugController (ControllerIdentity::km3300());

    UlkDeviceDetector detector;
    Receiver receiver;
    receiver.keep = true;
    receiver.attach (detector);
    detector.detectDevice();

    ASSERT_EQ (receiver.arrivals.size(), 1u);
    EXPECT_EQ (receiver.arrivals[0].productId, 0x6109);
    EXPECT_EQ (receiver.arrivals[0].vendorId, 0x7A3C);
    // Only the one handed over stays open; the other was closed at once.
    EXPECT_EQ (ulktest::platform::openDeviceCount(), 1);
    EXPECT_TRUE (requestKinds (*notProbed).empty());
}

TEST_F (Detector, TheProbeOpensAndPollsEvenWithoutAReceiver)
{
    auto controller = plugController();
    UlkDeviceDetector detector;
    detector.detectDevice();
    EXPECT_EQ (countOf (requestKinds (*controller), sim::RequestKind::capsPoll), 1);
    EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);

    // With nothing there the probe does nothing.
    controller->unplug();
    detector.detectDevice();
    EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);
}

TEST_F (Detector, UnknownNotificationKindsAreIgnored)
{
    UlkDeviceDetector detector;
    Receiver receiver;
    receiver.attach (detector);
    auto controller = plugController();

    qmhid::HIDDeviceIdentifier identifier;
    const std::string path = ulktest::platform::identifierPathOf (controller->deviceId());
    ulktest::platform::initIdentifier (identifier, path);

    deviceNotificationCallback (2, &identifier, &detector);
    deviceNotificationCallback (-1, &identifier, &detector);
    EXPECT_TRUE (receiver.arrivals.empty());
    EXPECT_TRUE (receiver.removals.empty());

    deviceNotificationCallback (0, &identifier, &detector);
    deviceNotificationCallback (1, &identifier, &detector);
    EXPECT_EQ (receiver.arrivals.size(), 1u);
    EXPECT_EQ (receiver.removals, std::vector<std::string>{ path });
}

TEST_F (Detector, DestroyingARegisteredDetectorUnregistersIt)
{
    Receiver receiver;
    {
        UlkDeviceDetector detector;
        receiver.attach (detector);
        detector.startDetect();

        // Another detector that never started leaves the registration alone.
        {
            UlkDeviceDetector idle;
        }
        plugController();
        ASSERT_TRUE (ulktest::pumpUntil ([&] { return receiver.arrivals.size() == 1; }));
    }

    EXPECT_EQ (qmhid::deviceNotificationCallback, nullptr);
    plugController();
    settle();
    EXPECT_EQ (receiver.arrivals.size(), 1u);

    UlkDeviceDetector stopped;
    receiver.attach (stopped);
    stopped.startDetect();
    stopped.stopDetect();
    EXPECT_FALSE (stopped.isDetecting());
    plugController();
    settle();
    EXPECT_EQ (receiver.arrivals.size(), 1u);
}
