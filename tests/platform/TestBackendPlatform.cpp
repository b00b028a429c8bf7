#include "TestPlatform.h"

#include "TestBackend.h"

namespace ulktest::platform
{
std::string identifierPathOf (sim::DeviceId id)
{
    return testbackend::identifierPathOf (id);
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
