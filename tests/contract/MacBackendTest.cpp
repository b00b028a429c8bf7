// The macOS backend's own rows, over the simulated macOS platform: its log
// lines, its choice of report elements, its limits, its failures and its
// fatal set-up checks.

#include "ContractDevice.h"
#include "TestPlatform.h"
#include "TestSupport.h"

#include <qmhid_HIDDevice.h>
#include <sim_macos/MacStandIn.h>

#include <CoreFoundation/CoreFoundation.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <regex>
#include <thread>

using namespace contract;
using qmhid::HIDDevice;
using qmhid::HIDDeviceIdentifier;
using Lines = std::vector<std::string>;

namespace
{
std::string pathOf (const std::shared_ptr<ContractDevice>& d)
{
    return ulktest::platform::identifierPathOf (d->id());
}

int openByPath (const std::string& path, HIDDevice** device)
{
    HIDDeviceIdentifier identifier;
    std::string copy = path;
    identifier.init (copy.data());
    return HIDDevice::createFrom (&identifier, device);
}

HIDDevice* open (const std::shared_ptr<ContractDevice>& d)
{
    HIDDevice* device = nullptr;
    EXPECT_EQ (openByPath (pathOf (d), &device), 0);
    return device;
}

sim::DeviceDescription withElements (std::vector<sim::HidElement> elements, int inBytes = 32,
                                     int outBytes = 32)
{
    sim::DeviceDescription d;
    d.inputReportBytes = inBytes;
    d.outputReportBytes = outBytes;
    d.elements = std::move (elements);
    return d;
}

struct Heard
{
    std::vector<std::pair<int, std::string>> events;

    static void callback (int kind, HIDDeviceIdentifier* identifier, void* self)
    {
        static_cast<Heard*> (self)->events.emplace_back (kind,
                                                         static_cast<const char*> (identifier->getData()));
    }
};

class MacBackend : public testing::Test
{
protected:
    MacBackend()
        : handlesBefore (simmac::liveObjectHandles())
    {
    }

    ~MacBackend() override
    {
        simmac::clearFaults();
        HIDDevice::setDeviceNotificationCallback (nullptr, nullptr);
        sim::VirtualHidBus::instance().unplugAll();
        ulktest::pumpFor (50);
        EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);
        EXPECT_EQ (simmac::invalidHandleUses(), 0u);
    }

    size_t handlesBefore;
};
} // namespace

TEST_F (MacBackend, TheWaitOfAGetIsLogged)
{
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    HIDDevice* device = open (d);
    std::vector<std::uint8_t> buffer (32, 0x5A);

    {
        ulktest::LogCapture log;
        EXPECT_EQ (device->get (buffer.data(), 32, 100), 4);
        EXPECT_EQ (log.newLines(),
                   (Lines{ "Start wait", "Lock", "Time out", "Error - timeout to  get report" }));
        EXPECT_EQ (buffer, Bytes (32, 0x5A));
    }
    {
        ulktest::LogCapture log;
        std::thread later (
            [&]
            {
                std::this_thread::sleep_for (std::chrono::milliseconds (200));
                d->sendInput (reportOf (7));
            });
        EXPECT_EQ (device->get (buffer.data(), 32, 5000), 0);
        later.join();
        EXPECT_EQ (buffer, reportOf (7));
        EXPECT_EQ (log.newLines(), (Lines{ "Start wait", "Lock", "Waited", "End wait" }));
    }
    {
        // A report already waiting is taken at once, without a wait.
        d->sendInput (reportOf (8));
        std::this_thread::sleep_for (std::chrono::milliseconds (200));
        ulktest::LogCapture log;
        EXPECT_EQ (device->get (buffer.data(), 32, 100), 0);
        EXPECT_EQ (buffer, reportOf (8));
        EXPECT_TRUE (log.newLines().empty());
    }
    device->release();
}

TEST_F (MacBackend, SendWritesAtMostTheOutputReportSize)
{
    struct Case
    {
        int outputBytes;
        size_t expected;
    };

    for (const auto& c : { Case{ 64, 32 }, Case{ 32, 32 }, Case{ 16, 16 } })
    {
        sim::DeviceDescription description;
        description.outputReportBytes = c.outputBytes;
        auto d = ContractDevice::plug (0x7A3C, 0x6102, description);
        HIDDevice* device = open (d);
        ASSERT_NE (device, nullptr);

        const Bytes report = reportOf (0x33);
        EXPECT_EQ (device->send (report.data(), 32, 100), 0);
        ASSERT_EQ (d->written().size(), 1u);
        EXPECT_EQ (d->written()[0], Bytes (c.expected, 0x33)) << c.outputBytes;
        device->release();
        d->unplug();
    }
}

TEST_F (MacBackend, ASendToAGoneDeviceLogsItsCode)
{
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    HIDDevice* device = open (d);
    d->unplug();

    ulktest::LogCapture log;
    const Bytes report = reportOf (1);
    EXPECT_EQ (device->send (report.data(), 32, 100), (int) 0xE00002D9);
    EXPECT_EQ (log.newLines(), Lines{ "Couldn't set element value (e00002d9)" });
    device->release();
}

TEST_F (MacBackend, ADeviceOpensOnlyWithFittingInputAndOutputElements)
{
    struct Case
    {
        const char* name;
        sim::DeviceDescription description;
        bool opens;
    };

    const Case cases[] = {
        { "fitting", withElements ({ { 1, 1, 256 }, { 2, 129, 256 } }), true },
        { "button input", withElements ({ { 1, 2, 256 }, { 2, 129, 256 } }), true },
        { "collection first", withElements ({ { 9, 513, 0 }, { 1, 1, 256 }, { 2, 129, 256 } }), true },
        { "several of each",
          withElements ({ { 5, 1, 256 }, { 6, 1, 256 }, { 7, 129, 256 }, { 8, 129, 256 } }), true },
        { "output too small", withElements ({ { 1, 1, 256 }, { 2, 129, 128 } }), false },
        { "input too large", withElements ({ { 1, 1, 512 }, { 2, 129, 256 } }), false },
        { "axis input only", withElements ({ { 1, 3, 256 }, { 2, 129, 256 } }), false },
        { "output never taken as input", withElements ({ { 2, 129, 256 } }), false },
        { "feature only", withElements ({ { 1, 257, 256 }, { 2, 129, 256 } }), false },
        { "sizes in bytes", withElements ({ { 1, 1, 32 }, { 2, 129, 32 } }), false },
        { "a 64-byte device", withElements ({ { 1, 1, 512 }, { 2, 129, 512 } }, 64, 64), true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto d = ContractDevice::plug (0x7A3C, 0x6102, c.description);
        ulktest::LogCapture log;
        HIDDevice* device = nullptr;
        EXPECT_EQ (HIDDevice::findDevice (0x7A3C, &device) == 0, c.opens);
        if (device != nullptr)
            device->release();
        else
            EXPECT_TRUE (log.newLines().empty()); // refused without a word
        d->unplug();
    }
}

TEST_F (MacBackend, ElementsWithMissingOrWrongKeysArePassedOver)
{
    struct Case
    {
        const char* name;
        std::function<void (CFMutableDictionaryRef)> edit;
    };

    const Case cases[] = {
        { "no type", [] (CFMutableDictionaryRef e) { CFDictionaryRemoveValue (e, CFSTR ("Type")); } },
        { "no cookie",
          [] (CFMutableDictionaryRef e) { CFDictionaryRemoveValue (e, CFSTR ("ElementCookie")); } },
        { "size not a number",
          [] (CFMutableDictionaryRef e) { CFDictionarySetValue (e, CFSTR ("Size"), CFSTR ("256")); } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        // The input element is spoiled: the device then has none.
        simmac::setElementEditor (
            [&] (sim::DeviceId, CFIndex index, CFMutableDictionaryRef element)
            {
                if (index == 0)
                    c.edit (element);
            });
        auto d = ContractDevice::plug (0x7A3C, 0x6102);
        HIDDevice* device = nullptr;
        EXPECT_EQ (HIDDevice::findDevice (0x7A3C, &device), 1);
        simmac::clearFaults();
        d->unplug();
    }
}

TEST_F (MacBackend, OpeningFailuresAreSkippedAndLogged)
{
    struct Case
    {
        simmac::Call call;
        Lines lines;
    };

    const Case cases[] = {
        { simmac::Call::getMatchingServices, {} },
        { simmac::Call::createPlugInInterface, {} },
        { simmac::Call::queryInterface,
          { "Couldn't get hid device interface (" + std::to_string ((int) E_NOINTERFACE) + ")" } },
        { simmac::Call::open, { "Device couldn't open (e00002c5)" } },
        { simmac::Call::copyMatchingElements, {} },
        { simmac::Call::addInterestNotification,
          { "HIDDevice -  DevImpl::init() error with IOServiceAddInterestNotification()" } },
    };

    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    for (const auto& c : cases)
    {
        SCOPED_TRACE ((int) c.call);
        simmac::injectFault (c.call, { 1 });
        ulktest::LogCapture log;
        HIDDevice* device = nullptr;
        EXPECT_EQ (HIDDevice::findDevice (0x7A3C, &device), 1);
        EXPECT_EQ (device, nullptr);
        EXPECT_EQ (log.newLines(), c.lines);
        EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);
        EXPECT_EQ (simmac::liveObjectHandles(), handlesBefore);
        simmac::clearFaults();
    }

    // createFrom fails alike.
    simmac::injectFault (simmac::Call::open, { 1 });
    HIDDevice* device = nullptr;
    EXPECT_EQ (openByPath (pathOf (d), &device), 1);
    EXPECT_EQ (device, nullptr);
}

TEST_F (MacBackend, ADeviceWhoseRegistryPathCannotBeReadIsStillHandedOut)
{
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    const auto path = pathOf (d);
    simmac::injectFault (simmac::Call::registryEntryGetPath, { 1 });

    ulktest::LogCapture log;
    HIDDevice* device = nullptr;
    ASSERT_EQ (HIDDevice::findDevice (0x7A3C, &device), 0);
    EXPECT_EQ (log.newLines(), Lines{ "Couldn't get registry path" });

    HIDDeviceIdentifier identifier;
    std::string copy = path;
    identifier.init (copy.data());
    EXPECT_FALSE (device->compare (&identifier));
    device->release();
}

TEST_F (MacBackend, AMissingVendorIdReadsAsZero)
{
    simmac::setPropertyEditor ([] (sim::DeviceId, CFMutableDictionaryRef properties)
                               { CFDictionaryRemoveValue (properties, CFSTR ("VendorID")); });
    auto d = ContractDevice::plug (0x7A3C, 0x6102);

    HIDDevice* device = nullptr;
    EXPECT_EQ (HIDDevice::findDevice (0x7A3C, &device), 1);
    ASSERT_EQ (openByPath (pathOf (d), &device), 0);
    EXPECT_EQ (device->vendorId, 0);
    EXPECT_EQ (device->productId, 0x6102);
    device->release();
}

TEST_F (MacBackend, PathsAreComparedExactly)
{
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    HIDDevice* device = open (d);

    std::string upper = pathOf (d);
    for (auto& ch : upper)
        ch = (char) std::toupper ((unsigned char) ch);
    ASSERT_NE (upper, pathOf (d));

    HIDDeviceIdentifier identifier;
    identifier.init (upper.data());
    EXPECT_FALSE (device->compare (&identifier));

    ulktest::LogCapture log;
    HIDDevice* other = nullptr;
    EXPECT_EQ (openByPath (upper, &other), 1);
    EXPECT_EQ (log.newLines(), Lines{ "Couldn't get registry entry from HIDDeviceIdentifier" });
    device->release();
}

TEST_F (MacBackend, TheProductFilteredFindIsThere)
{
    auto a = ContractDevice::plug (0x7A3C, 0x6102);
    auto b = ContractDevice::plug (0x7A3C, 0x6109);
    HIDDevice* device = nullptr;
    ASSERT_EQ (HIDDevice::findDevice (0x7A3C, 0x6109, &device), 0);
    EXPECT_EQ (device->productId, 0x6109);
    device->release();
    EXPECT_EQ (HIDDevice::findDevice (0x7A3C, 0x6000, &device), 1);
}

TEST_F (MacBackend, NotificationsAreLogged)
{
    Heard heard;
    HIDDevice::setDeviceNotificationCallback (Heard::callback, &heard);
    ulktest::pumpFor (20);

    ulktest::LogCapture arrivalLog;
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return heard.events.size() == 1; }));
    EXPECT_EQ (arrivalLog.newLines(), (Lines{ "devicArrivaleNotification()", "get path ok" }));

    HIDDevice* device = open (d);
    ulktest::LogCapture removalLog;
    d->unplug();
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return heard.events.size() == 2; }));
    const auto lines = removalLog.newLines();
    ASSERT_EQ (lines.size(), 2u);
    EXPECT_EQ (lines[0], "RemovalNotification");
    EXPECT_TRUE (std::regex_match (lines[1], std::regex ("service = [0-9]+"))) << lines[1];
    device->release();

    // A service whose path cannot be read is not reported; the others are.
    auto unreadable = ContractDevice::plug (0x05AC, 0x0220);
    simmac::injectFault (simmac::Call::registryEntryGetPath, { -1, unreadable->id() });
    ulktest::LogCapture failedLog;
    ulktest::pumpFor (100);
    EXPECT_EQ (heard.events.size(), 2u);
    ASSERT_EQ (failedLog.newLines().size(), 2u);
    EXPECT_TRUE (std::regex_match (failedLog.newLines()[1], std::regex ("hidObject = [0-9]+")));
}

TEST_F (MacBackend, WithoutACallbackARemovalIsLoggedButNotReported)
{
    Heard heard;
    HIDDevice::setDeviceNotificationCallback (Heard::callback, &heard);
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return heard.events.size() == 1; }));
    HIDDevice* device = open (d);

    HIDDevice::setDeviceNotificationCallback (nullptr, nullptr);
    ulktest::LogCapture log;
    d->unplug();
    ulktest::pumpFor (100);
    EXPECT_EQ (log.newLines(), Lines{ "RemovalNotification" });
    EXPECT_EQ (heard.events.size(), 1u);

    // Arrivals meanwhile are taken from the platform without a report, so
    // they keep coming once someone listens again.
    auto quiet = ContractDevice::plug (0x05AC, 0x0220);
    ulktest::pumpFor (100);
    HIDDevice::setDeviceNotificationCallback (Heard::callback, &heard);
    auto heardAgain = ContractDevice::plug (0x05AC, 0x0221);
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return heard.events.size() == 2; }));
    EXPECT_EQ (heard.events[1].second, pathOf (heardAgain));
    device->release();
}

TEST_F (MacBackend, AReleasedDeviceHearsNothingOfItsRemoval)
{
    Heard heard;
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    ulktest::pumpFor (20);
    HIDDevice::setDeviceNotificationCallback (Heard::callback, &heard);
    HIDDevice* device = open (d);
    device->release();

    ulktest::LogCapture log;
    d->unplug();
    ulktest::pumpFor (100);
    EXPECT_TRUE (heard.events.empty());
    EXPECT_TRUE (log.newLines().empty());
}

TEST_F (MacBackend, ReleasingWhileReportsPourInIsSafe)
{
    auto d = ContractDevice::plug (0x7A3C, 0x6102);
    std::atomic<bool> stop{ false };
    std::thread flood (
        [&]
        {
            for (std::uint8_t n = 0; !stop; ++n)
                d->sendInput (reportOf (n));
        });

    for (int round = 0; round < 40; ++round)
    {
        HIDDevice* device = open (d);
        ASSERT_NE (device, nullptr);
        if (round % 2 == 0)
        {
            std::vector<std::uint8_t> buffer (32);
            device->get (buffer.data(), 32, 100);
        }
        device->release();
    }
    stop = true;
    flood.join();
}

TEST_F (MacBackend, AMessageQueuedForAReleasedDeviceReachesNothing)
{
    Heard heard;
    HIDDevice::setDeviceNotificationCallback (Heard::callback, &heard);
    auto gone = ContractDevice::plug (0x7A3C, 0x6102);
    auto kept = ContractDevice::plug (0x7A3C, 0x6109);
    HIDDevice* released = open (gone);
    HIDDevice* device = open (kept);
    const auto keptPath = pathOf (kept);

    // The removal message is on the port when the device is released; as on
    // a Mac it is delivered all the same, to a record that is gone.
    gone->unplug();
    ASSERT_TRUE (simmac::mainRunLoopHasWork());
    released->release();
    kept->unplug();

    ASSERT_TRUE (ulktest::pumpUntil ([&] { return !heard.events.empty(); }));
    ulktest::pumpFor (50);
    ASSERT_EQ (heard.events.size(), 1u);
    EXPECT_EQ (heard.events[0].first, 1);
    EXPECT_EQ (heard.events[0].second, keptPath);
    device->release();
}

namespace
{
/** Ends the program when rounds stop making progress: a hung release would
    otherwise hang the test program until its time-out. */
class Watchdog
{
public:
    explicit Watchdog (const char* whatToName)
        : what (whatToName)
        , thread ([this] { watch(); })
    {
    }

    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> guard (lock);
            finished = true;
        }
        changed.notify_all();
        thread.join();
    }

    void tick() { progress.fetch_add (1); }

private:
    void watch()
    {
        std::unique_lock<std::mutex> held (lock);
        auto last = progress.load();
        while (!changed.wait_for (held, std::chrono::seconds (20), [this] { return finished; }))
        {
            const auto now = progress.load();
            if (now == last)
            {
                std::fprintf (stderr, "%s: no progress for 20 s, after %ld rounds\n", what, now);
                std::abort();
            }
            last = now;
        }
    }

    const char* const what;
    std::atomic<long> progress{ 0 };
    std::mutex lock;
    std::condition_variable changed;
    bool finished = false;
    std::thread thread;
};

/** Delays each reader thread just before its run by 0 to 300 microseconds,
    so that releases meet readers before, at and after the start of their run. */
class LateReaders
{
public:
    LateReaders()
    {
        simmac::setBeforeRunHook (
            [this]
            {
                const auto delay = next.fetch_add (37) % 301;
                if (delay > 0)
                    std::this_thread::sleep_for (std::chrono::microseconds (delay));
            });
    }

    ~LateReaders() { simmac::setBeforeRunHook (nullptr); }

private:
    std::atomic<unsigned> next{ 0 };
};
} // namespace

TEST_F (MacBackend, ReleaseEndsTheReaderHoweverLateItsRunBegins)
{
    // Each kind of round opens and releases as the program does: the
    // detector's probe with one controller, the probe with two (the second is
    // released inside findDevice), and an arrival opened and dropped at once.
    enum Kind
    {
        oneController,
        twoControllers,
        openedFromAnArrival
    };
    struct Case
    {
        Kind kind;
        bool reportsPourIn;
    };
    constexpr int rounds = 1000;
    LateReaders late;

    for (const auto c : { Case{ oneController, false }, Case{ twoControllers, false },
                          Case{ openedFromAnArrival, false }, Case{ twoControllers, true } })
    {
        SCOPED_TRACE (testing::Message() << "kind " << c.kind << (c.reportsPourIn ? ", flooded" : ""));
        std::vector<std::shared_ptr<ContractDevice>> controllers{ ContractDevice::plug (0x7A3C, 0x6102) };
        if (c.kind == twoControllers)
            controllers.push_back (ContractDevice::plug (0x7A3C, 0x6109));
        const auto path = pathOf (controllers.front());

        std::atomic<bool> stop{ false };
        std::thread flood;
        if (c.reportsPourIn)
            flood = std::thread (
                [&]
                {
                    for (std::uint8_t n = 0; !stop; ++n)
                        for (auto& controller : controllers)
                            controller->sendInput (reportOf (n));
                });

        {
            Watchdog watchdog ("release");
            for (int round = 0; round < rounds; ++round)
            {
                HIDDevice* device = nullptr;
                const int code = c.kind == openedFromAnArrival ? openByPath (path, &device)
                                                               : HIDDevice::findDevice (0x7A3C, &device);
                ASSERT_EQ (code, 0) << "round " << round;
                device->release();
                watchdog.tick();
            }
        }
        stop = true;
        if (flood.joinable())
            flood.join();
        EXPECT_EQ (ulktest::platform::openDeviceCount(), 0);
        sim::VirtualHidBus::instance().unplugAll();
    }
}

TEST (MacBackendDeathTest, NoMasterPortStopsTheProcess)
{
    EXPECT_DEATH (
        {
            simmac::injectFault (simmac::Call::masterPort);
            HIDDevice::setDeviceNotificationCallback (Heard::callback, nullptr);
        },
        "result == KERN_SUCCESS");
}

TEST (MacBackendDeathTest, NoArrivalNotificationStopsTheProcess)
{
    EXPECT_DEATH (
        {
            simmac::injectFault (simmac::Call::addMatchingNotification);
            HIDDevice::setDeviceNotificationCallback (Heard::callback, nullptr);
        },
        "result == KERN_SUCCESS");
}
