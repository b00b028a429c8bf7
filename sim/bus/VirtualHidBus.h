#pragma once

// The virtual HID bus: the simulated world's stand-in for USB and the
// operating system's HID class driver.  Devices (simulated controllers,
// keyboards, broken devices) are plugged into it; the platform stand-ins and
// the test backend enumerate, open and talk to them through it.  Nothing here
// knows JUCE or the program.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim
{
/** Names one plugged device; a new one for every plug, never reused. */
using DeviceId = std::uint64_t;

/** One element of a device's report descriptor, as the platform lists it. */
struct HidElement
{
    std::uint32_t cookie;
    std::int32_t
        type; ///< 1 input misc, 2 input button, 3 input axis, 129 output, 257 feature, 513 collection
    std::int32_t sizeBits;
};

/** How a device presents itself. */
struct DeviceDescription
{
    std::string productName;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    /** Data bytes of one input and one output report, without a report ID. */
    int inputReportBytes = 32;
    int outputReportBytes = 32;
    /** Empty: one input element (type 1) and one output element (type 129) sized
        from the report sizes, cookies 1 and 2. */
    std::vector<HidElement> elements;
    /** False for a device that refuses every open. */
    bool canOpen = true;
    /** The socket it is plugged into; -1 picks the lowest free one. */
    int port = -1;

    /** The elements, derived from the report sizes when none are given. */
    std::vector<HidElement> effectiveElements() const;
};

/** What a device model can do on the bus while it is plugged in. */
class DeviceLink
{
public:
    virtual ~DeviceLink() = default;

    virtual DeviceId id() const = 0;

    /** Sends one input report to every host handle that has the device open,
        on the calling thread. */
    virtual void sendInputReport (const std::uint8_t* data, std::size_t len) = 0;
};

/** The behaviour of one device.  Calls come from host threads and from the
    bus's timer thread; a model guards its own state. */
class DeviceModel
{
public:
    virtual ~DeviceModel() = default;

    /** Before any host can see the device. */
    virtual void plugged (DeviceLink&) {}

    /** After the hosts have been told that the device went; the link is dead. */
    virtual void unplugged() {}

    /** The host wrote one output report.  Return false to refuse it (the
        endpoint stays busy): the host's write then times out. */
    virtual bool outputReport (DeviceLink& link, const std::uint8_t* data, std::size_t len) = 0;
};

/** One open host handle of a device. */
class HostHandle
{
public:
    virtual ~HostHandle() = default;

    enum class WriteResult
    {
        ok,
        gone,    ///< the device is not (or no longer) plugged in
        timedOut ///< the device did not take the report within the time-out
    };

    /** Hands one output report to the device and waits for it to be taken. */
    virtual WriteResult write (const std::uint8_t* data, std::size_t len, int timeoutMs) = 0;

    using InputHandler = std::function<void (const std::uint8_t* data, std::size_t len)>;

    /** Every input report of the device goes to handler, one call at a time, on
        the thread that sends it.  Once setInputHandler (nullptr) or close()
        has returned, no call runs or follows.  A handler must not call back
        into its own handle. */
    virtual void setInputHandler (InputHandler handler) = 0;

    /** Whether the device is still plugged in. */
    virtual bool attached() const = 0;

    virtual DeviceId deviceId() const = 0;

    /** Closes the handle; writes then fail with gone. */
    virtual void close() = 0;
};

/** Hears of plugs and unplugs, on the thread that makes them, outside the
    bus's locks. */
class BusObserver
{
public:
    virtual ~BusObserver() = default;
    virtual void devicePlugged (DeviceId id) = 0;
    virtual void deviceUnplugged (DeviceId id) = 0;
};

/** The one bus of the process.  Every operation is safe from any thread. */
class VirtualHidBus
{
public:
    static VirtualHidBus& instance();

    /** Plugs a device in and tells the observers; returns its id. */
    virtual DeviceId plug (std::shared_ptr<DeviceModel> model, DeviceDescription description) = 0;

    /** Pulls a device out (nothing when it is gone already): its handles stop
        working, its scheduled tasks are dropped, the observers are told, and
        last the model hears unplugged(). */
    virtual void unplug (DeviceId id) = 0;

    /** Pulls out every device. */
    virtual void unplugAll() = 0;

    /** The devices present, in the order they were plugged in. */
    virtual std::vector<DeviceId> devices() const = 0;

    /** A present device's description, its port filled in. */
    virtual std::optional<DeviceDescription> describe (DeviceId id) const = 0;

    virtual bool isPresent (DeviceId id) const = 0;

    /** Opens a host handle; null when the device is absent or refuses. */
    virtual std::shared_ptr<HostHandle> open (DeviceId id) = 0;

    /** Runs task on the bus's timer thread after delayMs.  A task owned by a
        device is dropped when that device is unplugged; owner 0 is nobody. */
    virtual void schedule (int delayMs, std::function<void()> task, DeviceId owner = 0) = 0;

    virtual void addObserver (BusObserver* observer) = 0;
    virtual void removeObserver (BusObserver* observer) = 0;

    /** With pacing, every write waits for the next 1 ms frame, as on a USB
        full-speed interrupt endpoint. */
    virtual void setPacing (bool on) = 0;
    virtual bool pacing() const = 0;

protected:
    virtual ~VirtualHidBus() = default;
};
} // namespace sim
