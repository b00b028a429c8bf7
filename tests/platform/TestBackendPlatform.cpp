#include "TestPlatform.h"

#include <qmhid_HIDDeviceIdentifier.h>

#include "TestBackend.h"

namespace ulktest::platform
{
std::string identifierPathOf (sim::DeviceId id)
{
    return testbackend::identifierPathOf (id);
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
    return testbackend::openDeviceCount();
}

bool reportsRemovalsOfUnopenedDevices()
{
    return true;
}

int timeoutCode()
{
    return testbackend::timeoutCode;
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
