#include "VirtualHidBus.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace sim
{
std::vector<HidElement> DeviceDescription::effectiveElements() const
{
    if (!elements.empty())
        return elements;
    return { { 1, 1, inputReportBytes * 8 }, { 2, 129, outputReportBytes * 8 } };
}

namespace
{
using Clock = std::chrono::steady_clock;

class Bus;
class Handle;

/** One plugged device: the link its model talks through. */
class Device : public DeviceLink
{
public:
    Device (DeviceId idToUse, std::shared_ptr<DeviceModel> modelToUse, DeviceDescription descriptionToUse)
        : deviceId (idToUse)
        , model (std::move (modelToUse))
        , description (std::move (descriptionToUse))
    {
    }

    DeviceId id() const override { return deviceId; }

    void sendInputReport (const std::uint8_t* data, std::size_t len) override;

    void addHandle (const std::shared_ptr<Handle>& handle)
    {
        std::lock_guard<std::mutex> guard (lock);
        handles.push_back (handle);
    }

    void removeHandle (const Handle* handle)
    {
        std::lock_guard<std::mutex> guard (lock);
        handles.erase (std::remove_if (handles.begin(), handles.end(),
                                       [handle] (const std::weak_ptr<Handle>& h)
                                       {
                                           auto locked = h.lock();
                                           return locked == nullptr || locked.get() == handle;
                                       }),
                       handles.end());
    }

    void markGone()
    {
        {
            std::lock_guard<std::mutex> guard (lock);
            present = false;
        }
        goneCondition.notify_all();
    }

    bool isPresent() const
    {
        std::lock_guard<std::mutex> guard (lock);
        return present;
    }

    /** Waits up to timeoutMs; true when the device went meanwhile. */
    bool waitForRemoval (int timeoutMs)
    {
        std::unique_lock<std::mutex> guard (lock);
        return goneCondition.wait_for (guard, std::chrono::milliseconds (std::max (timeoutMs, 0)),
                                       [this] { return !present; });
    }

    const DeviceId deviceId;
    const std::shared_ptr<DeviceModel> model;
    const DeviceDescription description;

private:
    mutable std::mutex lock;
    std::condition_variable goneCondition;
    bool present = true;
    std::vector<std::weak_ptr<Handle>> handles;
};

class Handle : public HostHandle
{
public:
    Handle (Bus& busToUse, std::shared_ptr<Device> deviceToUse)
        : bus (busToUse)
        , device (std::move (deviceToUse))
    {
    }

    ~Handle() override { close(); }

    WriteResult write (const std::uint8_t* data, std::size_t len, int timeoutMs) override;

    void setInputHandler (InputHandler newHandler) override
    {
        std::lock_guard<std::mutex> guard (handlerLock);
        handler = std::move (newHandler);
    }

    bool attached() const override { return !closed.load() && device->isPresent(); }

    DeviceId deviceId() const override { return device->deviceId; }

    void close() override
    {
        if (closed.exchange (true))
            return;
        {
            // Waits for a delivery in progress on another thread.
            std::lock_guard<std::mutex> guard (handlerLock);
            handler = nullptr;
        }
        device->removeHandle (this);
    }

    void deliver (const std::uint8_t* data, std::size_t len)
    {
        std::lock_guard<std::mutex> guard (handlerLock);
        if (handler != nullptr && !closed.load())
            handler (data, len);
    }

private:
    Bus& bus;
    const std::shared_ptr<Device> device;
    std::atomic<bool> closed{ false };
    std::mutex handlerLock;
    InputHandler handler;
};

void Device::sendInputReport (const std::uint8_t* data, std::size_t len)
{
    std::vector<std::shared_ptr<Handle>> receivers;
    {
        std::lock_guard<std::mutex> guard (lock);
        if (!present)
            return;
        for (auto& h : handles)
            if (auto locked = h.lock())
                receivers.push_back (std::move (locked));
    }
    for (auto& receiver : receivers)
        receiver->deliver (data, len);
}

class Bus : public VirtualHidBus
{
public:
    ~Bus() override
    {
        {
            std::lock_guard<std::mutex> guard (timerLock);
            stopping = true;
        }
        timerCondition.notify_all();
        if (timerThread.joinable())
            timerThread.join();
    }

    DeviceId plug (std::shared_ptr<DeviceModel> model, DeviceDescription description) override
    {
        std::shared_ptr<Device> device;
        {
            std::lock_guard<std::mutex> guard (lock);
            if (description.port < 0)
                description.port = lowestFreePort();
            device = std::make_shared<Device> (nextId++, std::move (model), std::move (description));
        }

        device->model->plugged (*device);

        {
            std::lock_guard<std::mutex> guard (lock);
            present.push_back (device);
        }

        notify (true, device->deviceId);
        return device->deviceId;
    }

    void unplug (DeviceId id) override
    {
        std::shared_ptr<Device> device;
        {
            std::lock_guard<std::mutex> guard (lock);
            auto found = std::find_if (present.begin(), present.end(),
                                       [id] (const std::shared_ptr<Device>& d) { return d->deviceId == id; });
            if (found == present.end())
                return;
            device = *found;
            present.erase (found);
        }

        device->markGone();
        dropTasksOf (id);
        notify (false, id);
        device->model->unplugged();
    }

    void unplugAll() override
    {
        for (auto id : devices())
            unplug (id);
    }

    std::vector<DeviceId> devices() const override
    {
        std::lock_guard<std::mutex> guard (lock);
        std::vector<DeviceId> ids;
        for (auto& d : present)
            ids.push_back (d->deviceId);
        return ids;
    }

    std::optional<DeviceDescription> describe (DeviceId id) const override
    {
        auto device = find (id);
        if (device == nullptr)
            return std::nullopt;
        return device->description;
    }

    bool isPresent (DeviceId id) const override { return find (id) != nullptr; }

    std::shared_ptr<HostHandle> open (DeviceId id) override
    {
        auto device = find (id);
        if (device == nullptr || !device->description.canOpen)
            return nullptr;
        auto handle = std::make_shared<Handle> (*this, device);
        device->addHandle (handle);
        return handle;
    }

    void schedule (int delayMs, std::function<void()> task, DeviceId owner) override
    {
        {
            std::lock_guard<std::mutex> guard (timerLock);
            if (stopping)
                return;
            const auto when = Clock::now() + std::chrono::milliseconds (std::max (delayMs, 0));
            tasks.emplace (std::make_pair (when, nextTaskNumber++), Task{ std::move (task), owner });
            if (!timerThread.joinable())
                timerThread = std::thread ([this] { runTimer(); });
        }
        timerCondition.notify_all();
    }

    void addObserver (BusObserver* observer) override
    {
        std::lock_guard<std::recursive_mutex> guard (observerLock);
        observers.push_back (observer);
    }

    void removeObserver (BusObserver* observer) override
    {
        // Waits for notifications in progress on other threads.
        std::lock_guard<std::recursive_mutex> guard (observerLock);
        observers.erase (std::remove (observers.begin(), observers.end(), observer), observers.end());
    }

    void setPacing (bool on) override { paced = on; }
    bool pacing() const override { return paced.load(); }

    /** With pacing, waits for the next free 1 ms frame. */
    void pace()
    {
        if (!paced.load())
            return;

        Clock::time_point frame;
        {
            std::lock_guard<std::mutex> guard (frameLock);
            const auto now = Clock::now();
            const auto nextMs = std::chrono::ceil<std::chrono::milliseconds> (now.time_since_epoch());
            frame = std::max (Clock::time_point (nextMs), lastFrame + std::chrono::milliseconds (1));
            lastFrame = frame;
        }
        std::this_thread::sleep_until (frame);
    }

private:
    struct Task
    {
        std::function<void()> run;
        DeviceId owner;
    };

    std::shared_ptr<Device> find (DeviceId id) const
    {
        std::lock_guard<std::mutex> guard (lock);
        for (auto& d : present)
            if (d->deviceId == id)
                return d;
        return nullptr;
    }

    int lowestFreePort() const
    {
        for (int port = 1;; ++port)
        {
            const bool used = std::any_of (present.begin(), present.end(),
                                           [port] (const std::shared_ptr<Device>& d)
                                           { return d->description.port == port; });
            if (!used)
                return port;
        }
    }

    void notify (bool plugged, DeviceId id)
    {
        std::lock_guard<std::recursive_mutex> guard (observerLock);
        const auto current = observers;
        for (auto* observer : current)
        {
            if (plugged)
                observer->devicePlugged (id);
            else
                observer->deviceUnplugged (id);
        }
    }

    void dropTasksOf (DeviceId id)
    {
        std::lock_guard<std::mutex> guard (timerLock);
        for (auto it = tasks.begin(); it != tasks.end();)
            it = it->second.owner == id ? tasks.erase (it) : std::next (it);
    }

    void runTimer()
    {
        std::unique_lock<std::mutex> guard (timerLock);
        while (!stopping)
        {
            if (tasks.empty())
            {
                timerCondition.wait (guard);
                continue;
            }
            const auto first = tasks.begin();
            const auto due = first->first.first; // the task may go while we wait
            if (due > Clock::now())
            {
                timerCondition.wait_until (guard, due);
                continue;
            }
            Task task = std::move (first->second);
            tasks.erase (first);
            guard.unlock();
            task.run();
            guard.lock();
        }
    }

    mutable std::mutex lock;
    std::vector<std::shared_ptr<Device>> present;
    DeviceId nextId = 1;

    std::recursive_mutex observerLock;
    std::vector<BusObserver*> observers;

    std::mutex timerLock;
    std::condition_variable timerCondition;
    std::map<std::pair<Clock::time_point, std::uint64_t>, Task> tasks;
    std::uint64_t nextTaskNumber = 0;
    bool stopping = false;
    std::thread timerThread;

    std::atomic<bool> paced{ false };
    std::mutex frameLock;
    Clock::time_point lastFrame{};
};

HostHandle::WriteResult Handle::write (const std::uint8_t* data, std::size_t len, int timeoutMs)
{
    if (closed.load() || !device->isPresent())
        return WriteResult::gone;

    bus.pace();

    if (device->model->outputReport (*device, data, len))
        return WriteResult::ok;

    // The endpoint stays busy: the transfer ends with the time-out, or
    // with the device's removal.
    return device->waitForRemoval (timeoutMs) ? WriteResult::gone : WriteResult::timedOut;
}
} // namespace

VirtualHidBus& VirtualHidBus::instance()
{
    static Bus bus;
    return bus;
}
} // namespace sim
