#pragma once

// What the engine tests share: controllers on the virtual bus, opening them as
// the program does, and recording the statuses the engines announce.

#include "TestPlatform.h"
#include "TestSupport.h"
#include "UpdateFileBuilder.h"

#include <SimulatedController.h>
#include <UlkDevice.h>

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace enginetest
{
/** Opens a bus device as the detector does on an arrival. */
inline UlkDevice::Ptr openController (sim::DeviceId id)
{
    qmhid::HIDDeviceIdentifier identifier;
    ulktest::platform::initIdentifier (identifier, ulktest::platform::identifierPathOf (id));
    qmhid::HIDDevice* hid = nullptr;
    if (qmhid::HIDDevice::createFrom (&identifier, &hid) != 0)
        return nullptr;
    UlkDevice::Ptr device (UlkDevice::createFromHidDevice (hid));
    if (device == nullptr)
        hid->release();
    return device;
}

/** Records, on the message thread, the status current at each announcement. */
class StatusRecorder : public juce::ChangeListener
{
public:
    std::function<int()> read;

    void changeListenerCallback (juce::ChangeBroadcaster*) override { seen.push_back (read()); }

    std::vector<int> seen;
};

/** Passes everything to a controller and lets a test act on the thread that
    writes a report (the engine's worker), e.g. to ask it to exit. */
class InterceptingModel : public sim::DeviceModel
{
public:
    explicit InterceptingModel (std::shared_ptr<sim::SimulatedController> c)
        : controller (std::move (c))
    {
    }

    void plugged (sim::DeviceLink& link) override { controller->plugged (link); }
    void unplugged() override { controller->unplugged(); }

    bool outputReport (sim::DeviceLink& link, const std::uint8_t* data, std::size_t len) override
    {
        {
            std::lock_guard<std::mutex> guard (lock);
            if (onReport)
                onReport (data, len);
        }
        return controller->outputReport (link, data, len);
    }

    void setOnReport (std::function<void (const std::uint8_t*, std::size_t)> f)
    {
        std::lock_guard<std::mutex> guard (lock);
        onReport = std::move (f);
    }

private:
    std::shared_ptr<sim::SimulatedController> controller;
    std::mutex lock;
    std::function<void (const std::uint8_t*, std::size_t)> onReport;
};

/** The kinds of the requests a controller took, in order. */
inline std::vector<sim::RequestKind> requestKinds (const sim::SimulatedController& c)
{
    std::vector<sim::RequestKind> kinds;
    for (const auto& r : c.record().received)
        kinds.push_back (r.kind);
    return kinds;
}

inline int countOf (const std::vector<sim::RequestKind>& kinds, sim::RequestKind kind)
{
    return (int) std::count (kinds.begin(), kinds.end(), kind);
}

/** A fresh bus for each test: everything unplugged, posted notifications
    delivered, every device released. */
class BusTest : public testing::Test
{
protected:
    ~BusTest() override
    {
        sim::VirtualHidBus::instance().unplugAll();
        ulktest::pumpFor (20);
        EXPECT_TRUE (ulktest::pumpUntil ([] { return ulktest::platform::openDeviceCount() == 0; }, 10000))
            << ulktest::platform::openDeviceCount() << " devices still open";
    }

    std::shared_ptr<sim::SimulatedController>
        plugController (sim::ControllerIdentity identity = sim::ControllerIdentity::km3300())
    {
        auto c = sim::SimulatedController::create (std::move (identity));
        c->setFlashTimeMs (10);
        c->setRebootTimeMs (10);
        c->plugIn();
        return c;
    }

    ulktest::TempDirectory dir;
};
} // namespace enginetest
