// UlkDevice: taking a controller up, its description and its release.

#include "EngineTestSupport.h"

#include <UlkDevice.h>

using namespace enginetest;
using sim::ControllerIdentity;

namespace
{
class ControllerModel : public BusTest
{
};

sim::DeviceId plugForeign (std::uint16_t vendorId, std::uint16_t productId)
{
    auto c = sim::SimulatedController::create (ControllerIdentity::km3300());
    auto identity = c->identity();
    identity.vendorId = vendorId;
    identity.productId = productId;
    c->setIdentity (identity);
    return c->plugIn();
}

qmhid::HIDDevice* openHid (sim::DeviceId id)
{
    qmhid::HIDDeviceIdentifier identifier;
    ulktest::platform::initIdentifier (identifier, ulktest::platform::identifierPathOf (id));
    qmhid::HIDDevice* hid = nullptr;
    qmhid::HIDDevice::createFrom (&identifier, &hid);
    return hid;
}
} // namespace

TEST_F (ControllerModel, OnlyTheControllersVendorIdsAreTakenUp)
{
    struct Case
    {
        std::uint16_t vendorId;
        bool taken;
    };

    for (const auto& c :
         { Case{ 0x7A3C, true }, Case{ 0xFF00, true }, Case{ 0x1234, false }, Case{ 0, false } })
    {
        SCOPED_TRACE (testing::Message() << std::hex << c.vendorId);
        auto* hid = openHid (plugForeign (c.vendorId, 0x6102));
        ASSERT_NE (hid, nullptr);

        UlkDevice::Ptr device (UlkDevice::createFromHidDevice (hid));
        EXPECT_EQ (device != nullptr, c.taken);
        if (device == nullptr)
        {
            // Still the caller's, and still open.
            EXPECT_EQ (ulktest::platform::openDeviceCount(), 1);
            hid->release();
        }
        device = nullptr;
        EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);
    }
}

TEST_F (ControllerModel, TheDescriptionComesFromTheCapsReply)
{
    auto identity = ControllerIdentity::km3800();
    identity.unitNumber = 3;
    identity.firmwareVersion = 0x1234;
    identity.modelName = "Custom Name 16ch";
    auto controller = plugController (identity);

    auto device = openController (controller->deviceId());
    ASSERT_NE (device, nullptr);
    const auto info = device->getDeviceInfo();

    EXPECT_EQ (info.modelNumber, 0x42);
    EXPECT_EQ (info.unitNumber, 3);
    EXPECT_EQ (info.softwareVersion, 0x1234);
    EXPECT_EQ (info.operationMode, 2);
    EXPECT_STREQ (info.modelName, "Custom Name 16ch"); // a reported name is never replaced
    EXPECT_EQ (info.vendorId, 0x7A3C);
    EXPECT_EQ (info.productId, 0x6109);
    EXPECT_TRUE (device->isVersionUpMode());

    // The controller was asked exactly once.
    EXPECT_EQ (countOf (requestKinds (*controller), sim::RequestKind::capsPoll), 1);
    device->getDeviceInfo();
    EXPECT_EQ (countOf (requestKinds (*controller), sim::RequestKind::capsPoll), 1);
}

TEST_F (ControllerModel, ASilentControllerGetsADefaultNameByItsProductId)
{
    struct Case
    {
        std::uint16_t productId;
        const char* name;
    };

    for (const auto& c : { Case{ 0x6102, "QM-KM3300" }, Case{ 0x6109, "QM-KM3800" }, Case{ 0x6000, "" } })
    {
        SCOPED_TRACE (c.productId);
        auto identity = ControllerIdentity::km3300();
        identity.productId = c.productId;
        identity.modelName = "";
        auto controller = plugController (identity);
        controller->stopAnswering();

        auto device = openController (controller->deviceId());
        ASSERT_NE (device, nullptr);
        const auto info = device->getDeviceInfo();
        EXPECT_STREQ (info.modelName, c.name);
        EXPECT_EQ (info.operationMode, 0);
        EXPECT_EQ (info.softwareVersion, 0);
        EXPECT_EQ (info.unitNumber, 0);
        EXPECT_EQ (info.modelNumber, 0);
        EXPECT_EQ (info.productId, c.productId);
        EXPECT_FALSE (device->isVersionUpMode());
        device = nullptr;
        controller->unplug();
    }
}

TEST_F (ControllerModel, OnlyMode2IsUpdateMode)
{
    for (std::uint8_t mode : { 0, 1, 2, 3, 255 })
    {
        auto identity = ControllerIdentity::km3300 (mode);
        auto controller = plugController (identity);
        auto device = openController (controller->deviceId());
        ASSERT_NE (device, nullptr);
        EXPECT_EQ (device->isVersionUpMode(), mode == 2) << (int) mode;
        device = nullptr;
        controller->unplug();
    }
}

TEST_F (ControllerModel, EqualIdTellsItsOwnIdentifierApart)
{
    auto first = plugController();
    auto second = plugController();
    auto device = openController (first->deviceId());

    qmhid::HIDDeviceIdentifier own, other;
    ulktest::platform::initIdentifier (own, ulktest::platform::identifierPathOf (first->deviceId()));
    ulktest::platform::initIdentifier (other, ulktest::platform::identifierPathOf (second->deviceId()));

    EXPECT_TRUE (device->equalId (&own));
    EXPECT_FALSE (device->equalId (&other));
}

TEST_F (ControllerModel, TheLastReferenceReleasesTheDeviceOnce)
{
    auto controller = plugController();
    auto device = openController (controller->deviceId());
    UlkDevice::Ptr second = device;
    ASSERT_EQ (ulktest::platform::openDeviceCount(), 1);

    ulktest::StderrCapture err;
    device = nullptr;
    EXPECT_EQ (ulktest::platform::openDeviceCount(), 1);
    second = nullptr;
    EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);
    EXPECT_EQ (err.finish(), "Device released\n");
}

TEST_F (ControllerModel, NoDeviceGivesNoController)
{
    ulktest::ExpectJuceAssertions expected;
    EXPECT_EQ (UlkDevice::createFromHidDevice (nullptr), nullptr);
    EXPECT_EQ (expected.count(), ulktest::isMacFlavour() ? 1 : 0);
}
