#pragma once

// One run against a hostile bus device through a platform backend on its
// stand-in, shared by the macOS and the Windows targets.  The device stays
// plugged in and open from one input to the next (plugging is slow); an
// input may replug it with a new hostile description, and then sends, gets,
// unsolicited reports, unplugs and notification rounds in the order it says.

#include "HostileDevice.h"

#include <qmhid_HIDDevice.h>
#include <qmhid_HIDDeviceIdentifier.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace fuzz
{
struct Platform
{
    /** Sets identifier to name the bus device. */
    std::function<void (qmhid::HIDDeviceIdentifier&, sim::DeviceId)> initIdentifier;
    /** Delivers the notifications that are due, on this thread. */
    std::function<void()> serviceNotifications;
};

/** Opens every device that arrives, as the detector does; counts removals. */
struct Notified
{
    std::vector<qmhid::HIDDevice*> opened;
    int removals = 0;

    static void callback (int kind, qmhid::HIDDeviceIdentifier* identifier, void* user)
    {
        auto* self = static_cast<Notified*> (user);
        if (kind == 1)
        {
            ++self->removals;
            return;
        }
        qmhid::HIDDevice* device = nullptr;
        if (qmhid::HIDDevice::createFrom (identifier, &device) == 0)
            self->opened.push_back (device);
    }

    void releaseAll()
    {
        for (auto* d : opened)
            d->release();
        opened.clear();
    }
};

class BackendRun
{
public:
    explicit BackendRun (Platform p)
        : platform (std::move (p))
    {
        qmhid::HIDDevice::setDeviceNotificationCallback (&Notified::callback, &notified);
    }

    void runOne (Input& input)
    {
        const std::uint8_t head = input.byte();
        if (model == nullptr || (head & 0x0F) == 0)
            replug (input);

        const auto operations = input.bytes ((std::size_t) input.pick (24));
        // The answers to this input's sends come from the middle of the input.
        std::vector<std::uint8_t> scriptBytes;
        if ((head & 0x30) != 0)
            scriptBytes = input.bytes (input.remaining() / 2);
        Input scriptInput (scriptBytes.data(), scriptBytes.size());
        model->script (scriptInput, 64);

        std::uint8_t buffer[80];
        for (const std::uint8_t op : operations)
        {
            switch (op % 8)
            {
                case 0:
                case 1:
                {
                    std::uint8_t report[64] = {};
                    const auto bytes = input.bytes (32);
                    std::copy (bytes.begin(), bytes.end(), report);
                    const int len = (op & 0x80) != 0 ? (op >> 3) % 65 : 32;
                    if (hid != nullptr)
                        hid->send (report, len, (op & 0x40) != 0 ? 1 : 0);
                    break;
                }
                case 2:
                case 3:
                {
                    const int len = (op & 0x80) != 0 ? (op >> 3) % 65 : 32;
                    if (hid != nullptr)
                        hid->get (buffer, len, (op & 0x40) != 0 ? 1 : 0);
                    break;
                }
                case 4:
                {
                    // Reports of 1 to 64 bytes.  (An empty one makes the macOS
                    // stand-in copy from a null pointer.)
                    const int len = (op & 0x80) != 0 ? 1 + input.pick (64) : 32;
                    auto report = input.bytes ((std::size_t) len);
                    report.resize ((std::size_t) len, 0);
                    model->sendNow (report);
                    break;
                }
                case 5:
                    platform.serviceNotifications();
                    break;
                case 6:
                    if ((op & 0xF0) == 0x60)
                        unplug();
                    break;
                default:
                    if ((op & 0xF0) == 0x70 && hid != nullptr)
                    {
                        hid->release();
                        hid = nullptr;
                    }
                    break;
            }
        }
        platform.serviceNotifications();
        notified.releaseAll();
    }

    void replug (Input& input)
    {
        unplug();
        model = std::make_shared<HostileDevice>();
        id = sim::VirtualHidBus::instance().plug (model, hostileDescription (input));
        platform.serviceNotifications();
        notified.releaseAll();
        qmhid::HIDDeviceIdentifier identifier;
        platform.initIdentifier (identifier, id);
        if (qmhid::HIDDevice::createFrom (&identifier, &hid) != 0)
            hid = nullptr;
    }

    void unplug()
    {
        if (hid != nullptr)
        {
            hid->release();
            hid = nullptr;
        }
        if (id != 0)
            sim::VirtualHidBus::instance().unplug (id);
        id = 0;
        platform.serviceNotifications();
        notified.releaseAll();
    }

private:
    Platform platform;
    Notified notified;
    std::shared_ptr<HostileDevice> model;
    sim::DeviceId id = 0;
    qmhid::HIDDevice* hid = nullptr;
};
} // namespace fuzz
