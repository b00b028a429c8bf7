#pragma once

// What tests that run over more than one HID backend need to know of the one
// they are linked with.  Each backend's test programs link one implementation.

#include <VirtualHidBus.h>

#include <string>

namespace qmhid
{
class HIDDeviceIdentifier;
}

namespace ulktest::platform
{
/** The path that the backend's identifiers carry for a plugged bus device. */
std::string identifierPathOf (sim::DeviceId id);

/** Sets identifier to name the device at path (UTF-8), in the backend's own form. */
void initIdentifier (qmhid::HIDDeviceIdentifier& identifier, const std::string& path);

/** The path identifier holds, as UTF-8. */
std::string pathOf (qmhid::HIDDeviceIdentifier& identifier);

/** Devices the backend has opened and not yet released. */
int openDeviceCount();

/** Whether the removal of a device nobody opened is reported (every removal
    is on Windows; on macOS only those of opened devices). */
bool reportsRemovalsOfUnopenedDevices();

/** What get returns when no report comes in time. */
int timeoutCode();

/** Whether send drops a report that came before it (macOS), rather than
    leaving it for the next get (Windows). */
bool sendDropsEarlierReports();

/** Whether get takes the newest of several waiting reports (macOS), rather
    than the oldest (Windows). */
bool getTakesNewestReport();
} // namespace ulktest::platform
