// The virtual HID bus: plugging, handles, input delivery, the timer and pacing.

#include <VirtualHidBus.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace sim;

namespace
{
/** Echoes every output report back as an input report, or refuses it. */
class EchoModel : public DeviceModel
{
public:
    bool outputReport (DeviceLink& link, const std::uint8_t* data, std::size_t len) override
    {
        ++writes;
        if (refuse)
            return false;
        link.sendInputReport (data, len);
        return true;
    }

    void unplugged() override { ++unplugs; }

    std::atomic<int> writes{ 0 };
    std::atomic<int> unplugs{ 0 };
    std::atomic<bool> refuse{ false };
};

class RecordingObserver : public BusObserver
{
public:
    void devicePlugged (DeviceId id) override
    {
        std::lock_guard<std::mutex> guard (lock);
        events.push_back ((long long) id);
    }
    void deviceUnplugged (DeviceId id) override
    {
        std::lock_guard<std::mutex> guard (lock);
        events.push_back (-(long long) id);
    }

    std::vector<long long> take()
    {
        std::lock_guard<std::mutex> guard (lock);
        return std::exchange (events, {});
    }

private:
    std::mutex lock;
    std::vector<long long> events;
};

DeviceDescription describeDevice (const char* name, std::uint16_t vendor, int port = -1)
{
    DeviceDescription d;
    d.productName = name;
    d.vendorId = vendor;
    d.productId = 1;
    d.port = port;
    return d;
}

class BusTest : public testing::Test
{
protected:
    BusTest() { bus.addObserver (&observer); }
    ~BusTest() override
    {
        bus.unplugAll();
        bus.removeObserver (&observer);
    }

    VirtualHidBus& bus = VirtualHidBus::instance();
    RecordingObserver observer;
};
} // namespace

TEST_F (BusTest, PlugAndUnplugAreSeenInOrderWithPortsAndFreshIds)
{
    auto model = std::make_shared<EchoModel>();
    const auto a = bus.plug (model, describeDevice ("a", 0x7A3C));
    const auto b = bus.plug (std::make_shared<EchoModel>(), describeDevice ("b", 0x1234));
    const auto c = bus.plug (std::make_shared<EchoModel>(), describeDevice ("c", 0x1234, 7));

    EXPECT_EQ (bus.devices(), (std::vector<DeviceId>{ a, b, c }));
    EXPECT_EQ (bus.describe (a)->port, 1);
    EXPECT_EQ (bus.describe (b)->port, 2);
    EXPECT_EQ (bus.describe (c)->port, 7);

    bus.unplug (a);
    bus.unplug (a); // already gone: nothing
    EXPECT_FALSE (bus.isPresent (a));
    EXPECT_EQ (model->unplugs.load(), 1);
    EXPECT_FALSE (bus.describe (a).has_value());

    // The freed port is taken again, under a new id.
    const auto again = bus.plug (model, describeDevice ("a", 0x7A3C));
    EXPECT_NE (again, a);
    EXPECT_EQ (bus.describe (again)->port, 1);
    EXPECT_EQ (bus.devices(), (std::vector<DeviceId>{ b, c, again }));

    EXPECT_EQ (observer.take(), (std::vector<long long>{ (long long) a, (long long) b, (long long) c,
                                                         -(long long) a, (long long) again }));
}

TEST_F (BusTest, HandlesWriteToTheModelAndEveryOpenHandleHearsItsInput)
{
    auto model = std::make_shared<EchoModel>();
    const auto id = bus.plug (model, describeDevice ("echo", 0x7A3C));

    auto first = bus.open (id);
    auto second = bus.open (id);
    ASSERT_TRUE (first && second);

    std::atomic<int> heardFirst{ 0 }, heardSecond{ 0 };
    first->setInputHandler (
        [&] (const std::uint8_t* data, std::size_t len)
        {
            if (len == 3 && data[0] == 0xAB)
                ++heardFirst;
        });
    second->setInputHandler ([&] (const std::uint8_t*, std::size_t) { ++heardSecond; });

    const std::uint8_t report[] = { 0xAB, 1, 2 };
    EXPECT_EQ (first->write (report, sizeof (report), 100), HostHandle::WriteResult::ok);
    EXPECT_EQ (heardFirst.load(), 1);
    EXPECT_EQ (heardSecond.load(), 1);

    second->close();
    EXPECT_FALSE (second->attached());
    EXPECT_EQ (second->write (report, sizeof (report), 100), HostHandle::WriteResult::gone);
    EXPECT_EQ (first->write (report, sizeof (report), 100), HostHandle::WriteResult::ok);
    EXPECT_EQ (heardFirst.load(), 2);
    EXPECT_EQ (heardSecond.load(), 1);
    EXPECT_EQ (model->writes.load(), 2);

    bus.unplug (id);
    EXPECT_FALSE (first->attached());
    EXPECT_EQ (first->write (report, sizeof (report), 100), HostHandle::WriteResult::gone);
    EXPECT_EQ (model->writes.load(), 2);
}

TEST_F (BusTest, ARefusingDeviceAndOneThatCannotBeOpened)
{
    auto description = describeDevice ("locked", 0x7A3C);
    description.canOpen = false;
    const auto locked = bus.plug (std::make_shared<EchoModel>(), description);
    EXPECT_EQ (bus.open (locked), nullptr);
    EXPECT_EQ (bus.open (9999), nullptr);

    auto model = std::make_shared<EchoModel>();
    model->refuse = true;
    const auto busy = bus.plug (model, describeDevice ("busy", 0x7A3C));
    auto handle = bus.open (busy);
    const std::uint8_t report[] = { 1 };
    EXPECT_EQ (handle->write (report, 1, 20), HostHandle::WriteResult::timedOut);

    // Pulled out while the write waits: the write ends at once with gone.
    std::thread unplugger (
        [&]
        {
            std::this_thread::sleep_for (std::chrono::milliseconds (30));
            bus.unplug (busy);
        });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ (handle->write (report, 1, 60000), HostHandle::WriteResult::gone);
    EXPECT_LT (std::chrono::steady_clock::now() - started, std::chrono::seconds (30));
    unplugger.join();
}

TEST_F (BusTest, ClosingWaitsForADeliveryInProgressAndNoneFollows)
{
    auto model = std::make_shared<EchoModel>();
    const auto id = bus.plug (model, describeDevice ("echo", 0x7A3C));
    auto reader = bus.open (id);
    auto writer = bus.open (id);

    std::mutex lock;
    std::condition_variable entered;
    bool inHandler = false;
    std::atomic<bool> release{ false };
    std::atomic<int> callsAfterClose{ 0 };
    std::atomic<bool> closed{ false };

    reader->setInputHandler (
        [&] (const std::uint8_t*, std::size_t)
        {
            if (closed)
                ++callsAfterClose;
            {
                std::lock_guard<std::mutex> guard (lock);
                inHandler = true;
            }
            entered.notify_all();
            while (!release)
                std::this_thread::yield();
        });

    const std::uint8_t report[] = { 1 };
    std::thread sender ([&] { writer->write (report, 1, 100); });
    {
        std::unique_lock<std::mutex> guard (lock);
        entered.wait (guard, [&] { return inHandler; });
    }

    std::thread closer (
        [&]
        {
            reader->close();
            closed = true;
        });
    std::this_thread::sleep_for (std::chrono::milliseconds (20));
    EXPECT_FALSE (closed.load()); // still inside the handler
    release = true;
    closer.join();
    sender.join();

    writer->write (report, 1, 100);
    EXPECT_EQ (callsAfterClose.load(), 0);
}

TEST_F (BusTest, TimerRunsTasksInTimeOrderAndDropsAnUnpluggedDevicesTasks)
{
    const auto id = bus.plug (std::make_shared<EchoModel>(), describeDevice ("echo", 0x7A3C));

    std::mutex lock;
    std::condition_variable done;
    std::vector<int> order;
    auto record = [&] (int n)
    {
        return [&, n]
        {
            std::lock_guard<std::mutex> guard (lock);
            order.push_back (n);
            done.notify_all();
        };
    };

    // Each delay counts from its own call: the gaps are wide enough that a test
    // thread stalled between two calls on a busy machine cannot swap them.
    bus.schedule (600, record (3));
    bus.schedule (300, record (2));
    bus.schedule (0, record (1));
    bus.schedule (400, record (99), id);
    bus.unplug (id);

    std::unique_lock<std::mutex> guard (lock);
    ASSERT_TRUE (done.wait_for (guard, std::chrono::seconds (10), [&] { return order.size() >= 3; }));
    guard.unlock();
    std::this_thread::sleep_for (std::chrono::milliseconds (60));
    guard.lock();
    EXPECT_EQ (order, (std::vector<int>{ 1, 2, 3 }));
}

TEST_F (BusTest, PacingSpacesWritesAtLeastOneMillisecondApart)
{
    const auto id = bus.plug (std::make_shared<EchoModel>(), describeDevice ("echo", 0x7A3C));
    auto handle = bus.open (id);
    const std::uint8_t report[] = { 1 };

    bus.setPacing (true);
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i)
        handle->write (report, 1, 100);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    bus.setPacing (false);

    EXPECT_GE (elapsed, std::chrono::milliseconds (19));
}

TEST (HidElements, DefaultElementsFollowTheReportSizes)
{
    DeviceDescription d;
    d.inputReportBytes = 32;
    d.outputReportBytes = 64;
    const auto elements = d.effectiveElements();
    ASSERT_EQ (elements.size(), 2u);
    EXPECT_EQ (elements[0].type, 1);
    EXPECT_EQ (elements[0].sizeBits, 256);
    EXPECT_EQ (elements[1].type, 129);
    EXPECT_EQ (elements[1].sizeBits, 512);
    EXPECT_NE (elements[0].cookie, elements[1].cookie);
}
