#pragma once

// What tests need to know of the test build's backend of qmhid::HIDDevice.

#include <VirtualHidBus.h>

#include <string>

namespace testbackend
{
/** get: no report came in time. */
constexpr int timeoutCode = 4;
/** send: the device did not take the report in time. */
constexpr int writeTimeoutCode = (int) 0xE00002D6;
/** send: the device is gone. */
constexpr int goneCode = (int) 0xE00002D9;

/** The path that identifiers of a bus device carry. */
std::string identifierPathOf (sim::DeviceId id);

/** qmhid::HIDDevice objects alive now (opened and not yet released). */
int openDeviceCount();
} // namespace testbackend
