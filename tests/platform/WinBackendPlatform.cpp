#include "TestPlatform.h"

#include <Win32MessageBridge.h>
#include <qmhid_HIDDeviceIdentifier.h>
#include <sim_win32/Win32StandIn.h>

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

namespace
{
/** The message thread's window messages are pumped by JUCE's message loop,
    as on Windows: the notification window's broadcasts come through it. */
class MessageThreadBridge : public testing::Environment
{
    void SetUp() override { ASSERT_TRUE (simwin::startMessageThreadBridge()); }
    void TearDown() override { simwin::stopMessageThreadBridge(); }
};

[[maybe_unused]] testing::Environment* const bridge =
    testing::AddGlobalTestEnvironment (new MessageThreadBridge());

std::string toUtf8 (const std::wstring& text)
{
    return juce::String (text.c_str()).toStdString();
}
} // namespace

namespace ulktest::platform
{
std::string identifierPathOf (sim::DeviceId id)
{
    // As the arrival and removal broadcasts name it.
    return toUtf8 (simwin::notifiedPathOf (id));
}

void initIdentifier (qmhid::HIDDeviceIdentifier& identifier, const std::string& path)
{
    std::wstring wide = juce::String (path).toWideCharPointer();
    identifier.init (wide.data());
}

std::string pathOf (qmhid::HIDDeviceIdentifier& identifier)
{
    const auto* path = static_cast<const wchar_t*> (identifier.getData());
    return path == nullptr ? std::string() : toUtf8 (path);
}

int openDeviceCount()
{
    return (int) simwin::openFileHandles();
}

bool reportsRemovalsOfUnopenedDevices()
{
    return true;
}

int timeoutCode()
{
    return 996; // ERROR_IO_INCOMPLETE
}

bool sendDropsEarlierReports()
{
    return true; // send flushes the handle's input queue
}

bool getTakesNewestReport()
{
    return false;
}
} // namespace ulktest::platform
