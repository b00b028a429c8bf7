#include "TestPlatform.h"

#include <qmhid_HIDDeviceIdentifier.h>

#include <MacRunLoopBridge.h>
#include <sim_macos/MacStandIn.h>

#include <gtest/gtest.h>

namespace
{
/** The message thread's run loop is the main run loop, serviced by JUCE's
    message loop as on a Mac: the backend's notifications come through it. */
class MainRunLoop : public testing::Environment
{
    void SetUp() override { ASSERT_TRUE (simmac::startMessageThreadRunLoop()); }
    void TearDown() override { simmac::stopMessageThreadRunLoop(); }
};

[[maybe_unused]] testing::Environment* const mainRunLoop =
    testing::AddGlobalTestEnvironment (new MainRunLoop());
} // namespace

namespace ulktest::platform
{
std::string identifierPathOf (sim::DeviceId id)
{
    return simmac::registryPathOf (id);
}

void initIdentifier (qmhid::HIDDeviceIdentifier& identifier, const std::string& path)
{
    std::string copy = path;
    identifier.init (copy.data());
}

std::string pathOf (qmhid::HIDDeviceIdentifier& identifier)
{
    return static_cast<const char*> (identifier.getData());
}

int openDeviceCount()
{
    return (int) simmac::openDeviceInterfaces();
}

bool reportsRemovalsOfUnopenedDevices()
{
    return false;
}

int timeoutCode()
{
    return 4;
}

bool sendDropsEarlierReports()
{
    return true;
}

bool getTakesNewestReport()
{
    return true;
}
} // namespace ulktest::platform
