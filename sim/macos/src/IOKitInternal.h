#pragma once

// The IOKit registry of the simulated macOS platform, shared by the registry
// calls and the HID device interface.

#include <IOKit/IOKitLib.h>
#include <sim_macos/MacStandIn.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace simio
{
/** Something an io_object_t names. */
class IOObject
{
public:
    virtual ~IOObject() = default;

    /** The last handle of the object was released (the registry lock is held). */
    virtual void lastHandleReleased() {}
};

class InterestNotification;

/** The registry entry of one plugged bus device. */
class Service : public IOObject
{
public:
    Service (sim::DeviceId deviceToUse, sim::DeviceDescription descriptionToUse);

    const sim::DeviceId device;
    const sim::DeviceDescription description;
    const std::string path;

    // Guarded by the registry lock.
    bool terminated = false;
    std::vector<std::weak_ptr<InterestNotification>> interests;
};

/** The lock of the registry and of every IOKit object.  Taken before the run
    loop lock, never after it, and never held while a callback runs. */
std::mutex& registryLock();

/** The service that handle names, or null (and the use is counted as
    invalid) when it names none. */
std::shared_ptr<Service> serviceOf (io_object_t handle);

/** Whether the service's device is still plugged in. */
bool isAttached (const Service& service);

/** True when a fault is set for call (and device); code then holds the result
    to return. */
bool takeFault (simmac::Call call, sim::DeviceId device, int& code);

/** The element dictionaries of a service, after the test's element editor. */
CFMutableArrayRef createElements (const Service& service);

/** The property dictionary of a service, after the test's property editor. */
CFMutableDictionaryRef createProperties (const Service& service);

void noteInvalidHandle();
} // namespace simio
