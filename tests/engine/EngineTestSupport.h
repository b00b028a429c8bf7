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

#include <algorithm>
#include <chrono>
#include <functional>
#include <initializer_list>
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

/** When each report reached the controller, by kind, noted on the thread that
    wrote it (hand note() to an InterceptingModel). */
class ReportTimes
{
public:
    using Clock = std::chrono::steady_clock;

    struct Entry
    {
        sim::RequestKind kind;
        Clock::time_point at;
    };

    void note (const std::uint8_t* data, std::size_t len)
    {
        const Entry entry{ sim::ControllerFirmware::classify (data, len), Clock::now() };
        std::lock_guard<std::mutex> guard (lock);
        entries.push_back (entry);
    }

    /** The milliseconds between consecutive reports of these kinds. */
    std::vector<double> gapsMs (std::initializer_list<sim::RequestKind> kinds) const
    {
        std::vector<double> gaps;
        const Entry* previous = nullptr;
        std::lock_guard<std::mutex> guard (lock);
        for (const auto& e : entries)
        {
            if (std::find (kinds.begin(), kinds.end(), e.kind) == kinds.end())
                continue;
            if (previous != nullptr)
                gaps.push_back (msBetween (previous->at, e.at));
            previous = &e;
        }
        return gaps;
    }

    /** The milliseconds from the first report of kind from to the first report
        of kind to after it; -1 when there is no such pair. */
    double msFromFirstToNext (sim::RequestKind from, sim::RequestKind to) const
    {
        std::lock_guard<std::mutex> guard (lock);
        const auto first =
            std::find_if (entries.begin(), entries.end(), [from] (const Entry& e) { return e.kind == from; });
        if (first == entries.end())
            return -1;
        const auto next =
            std::find_if (first + 1, entries.end(), [to] (const Entry& e) { return e.kind == to; });
        return next == entries.end() ? -1 : msBetween (first->at, next->at);
    }

private:
    static double msBetween (Clock::time_point a, Clock::time_point b)
    {
        return std::chrono::duration<double, std::milli> (b - a).count();
    }

    mutable std::mutex lock;
    std::vector<Entry> entries;
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

    /** A controller plugged in behind an InterceptingModel. */
    struct Intercepted
    {
        std::shared_ptr<sim::SimulatedController> controller;
        std::shared_ptr<InterceptingModel> model;
        sim::DeviceId id;
    };

    Intercepted plugIntercepted()
    {
        auto c = sim::SimulatedController::create (sim::ControllerIdentity::km3300());
        auto model = std::make_shared<InterceptingModel> (c);
        const auto id = sim::VirtualHidBus::instance().plug (model, c->description());
        return { c, model, id };
    }

    std::shared_ptr<sim::SimulatedController>
        plugController (sim::ControllerIdentity identity = sim::ControllerIdentity::km3300())
    {
        auto c = sim::SimulatedController::create (std::move (identity));
        // As a real controller, which flashes for seconds, it answers once the
        // host is reading, also on a busy machine: an answer that came before
        // the read would go with the reboot's unplug.
        c->setFlashTimeMs (300);
        c->setRebootTimeMs (10);
        c->plugIn();
        return c;
    }

    ulktest::TempDirectory dir;
};
} // namespace enginetest
