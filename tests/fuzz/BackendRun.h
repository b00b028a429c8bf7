#pragma once

// One run against a hostile bus device through a platform backend on its
// stand-in, shared by the macOS and the Windows targets.  The device stays
// plugged in and open from one input to the next (plugging is slow); an
// input may replug it with a new hostile description, and then sends, gets,
// unsolicited reports, probes (findDevice), unplugs and notification rounds
// in the order it says.  A device may be pulled out while it is open: its
// removal then reaches an open device, which the input either releases at
// once, as the window does, or keeps using, as a worker thread that still
// holds it does.

#include "HostileDevice.h"

#include <qmhid_Flavour.h>
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

class BackendRun
{
public:
    explicit BackendRun (Platform p)
        : platform (std::move (p))
    {
        qmhid::HIDDevice::setDeviceNotificationCallback (&BackendRun::notified, this);
    }

    void runOne (Input& input)
    {
        const std::uint8_t head = input.byte();
        releaseOnRemoval = (head & 0x40) != 0;
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
                    else if ((op & 0xF0) == 0xE0)
                        pull();
                    else if ((op & 0x30) == 0x20)
                        probe (input);
                    break;
                default:
                    if ((op & 0xF0) == 0x70)
                        releaseHeld();
                    break;
            }
        }
        platform.serviceNotifications();
        releaseArrivals();
    }

    void replug (Input& input)
    {
        unplug();
        model = std::make_shared<HostileDevice>();
        description = hostileDescription (input);
        id = sim::VirtualHidBus::instance().plug (model, description);
        platform.serviceNotifications();
        releaseArrivals();
        qmhid::HIDDeviceIdentifier identifier;
        platform.initIdentifier (identifier, id);
        if (qmhid::HIDDevice::createFrom (&identifier, &hid) != 0)
            hid = nullptr;
    }

    /** Releases the device, then unplugs it. */
    void unplug()
    {
        releaseHeld();
        pull();
        releaseArrivals();
    }

private:
    /** Opens every device that arrives, as the detector does; on a removal
        compares the open devices with it, as the window does with its
        controller. */
    static void notified (int kind, qmhid::HIDDeviceIdentifier* identifier, void* user)
    {
        auto* self = static_cast<BackendRun*> (user);
        if (kind == 0)
        {
            qmhid::HIDDevice* device = nullptr;
            if (qmhid::HIDDevice::createFrom (identifier, &device) == 0)
                self->arrivals.push_back (device);
            return;
        }
        for (auto it = self->arrivals.begin(); it != self->arrivals.end();)
        {
            if ((*it)->compare (identifier))
            {
                (*it)->release();
                it = self->arrivals.erase (it);
            }
            else
            {
                ++it;
            }
        }
        if (self->hid != nullptr && self->hid->compare (identifier) && self->releaseOnRemoval)
            self->releaseHeld();
    }

    /** Unplugs the bus device, whether or not it is open. */
    void pull()
    {
        if (id != 0)
            sim::VirtualHidBus::instance().unplug (id);
        id = 0;
        platform.serviceNotifications();
    }

    /** The start-up probe: the first device of a vendor, or all of them, by
        vendor and product; kept as the open device when none is held. */
    void probe (Input& input)
    {
        const int which = input.pick (3);
        int vendorId = which == 0 ? description.vendorId : which == 1 ? 0x7A3C : input.u16();
        int productId = input.flag() ? description.productId : input.u16();
        const int form = input.pick (3);
        // Only the list form and the macOS build's own form filter by product.
        bool byProduct = form != 0 && input.flag();
        std::vector<qmhid::HIDDevice*> found;
        qmhid::HIDDevice* first = nullptr;
        if (form == 0)
        {
            if (qmhid::HIDDevice::findDevice (vendorId, &first) == 0)
                found.push_back (first);
        }
#if QMHID_MAC_FLAVOUR
        else if (form == 2)
        {
            byProduct = true;
            if (qmhid::HIDDevice::findDevice (vendorId, productId, &first) == 0)
                found.push_back (first);
        }
#endif
        else
        {
            qmhid::HIDDevice::findDevice (&vendorId, byProduct ? &productId : nullptr, 1, &found);
        }
        for (auto* device : found)
        {
            check (device->vendorId == vendorId && (!byProduct || device->productId == productId),
                   "findDevice opened a device it was not asked for");
            if (hid == nullptr && input.flag())
                hid = device;
            else
                device->release();
        }
    }

    void releaseHeld()
    {
        if (hid != nullptr)
            hid->release();
        hid = nullptr;
    }

    void releaseArrivals()
    {
        for (auto* d : arrivals)
            d->release();
        arrivals.clear();
    }

    Platform platform;
    std::vector<qmhid::HIDDevice*> arrivals;
    std::shared_ptr<HostileDevice> model;
    sim::DeviceDescription description;
    sim::DeviceId id = 0;
    qmhid::HIDDevice* hid = nullptr;
    bool releaseOnRemoval = false;
};
} // namespace fuzz
