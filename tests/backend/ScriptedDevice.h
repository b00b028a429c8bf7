#pragma once

// A scripted stand-in for a controller, opened through the test backend as a
// qmhid::HIDDevice.  It records every send and answers each get from a script.

#include "TestBackend.h"

#include <qmhid_HIDDevice.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace testbackend
{
using Report = std::array<std::uint8_t, 32>;

/** A 32-byte report whose first bytes are leading and the rest 0. */
Report makeReport (std::initializer_list<std::uint8_t> leading);

struct SentReport
{
    std::vector<std::uint8_t> bytes; ///< the len bytes handed to send
    int timeoutMs;
};

struct GetCall
{
    int len;
    int timeoutMs;
};

class ScriptedDevice
{
public:
    /** The next get copies this report. */
    void queueReply (const Report& report);
    /** The next get fails with code and leaves the buffer alone.  code is not
        0: a backend's get that succeeds has always copied a report. */
    void queueCode (int code);
    /** The next get finds no report in time. */
    void queueNoReport();
    /** The next send fails with code (sends succeed otherwise). */
    void queueSendFailure (int code);
    /** The controller is unplugged: from now on every send fails with goneCode,
        every get finds no report, and its path opens nothing, as with a bus
        device that has gone. */
    void unplug();
    bool isUnplugged() const;

    /** Called on the sending thread for every later send, with its number
        (from 0, counted from this call) and its time-out, after the send is
        recorded and before it returns: it may hold the sender for up to that
        time-out, as a device that is slow to take a report does.  Null: none. */
    using SendHook = std::function<void (std::size_t index, int timeoutMs)>;
    void onEachSend (SendHook hook);

    std::vector<SentReport> sends() const;
    std::vector<GetCall> gets() const;
    /** Script entries for get not yet used. */
    size_t unusedReplies() const;
    int releaseCount() const;

    // Called by the backend.
    int onSend (const std::uint8_t* data, int len, int timeoutMs);
    int onGet (std::uint8_t* buf, int len, int timeoutMs);
    void onRelease();

private:
    struct Answer
    {
        enum Kind
        {
            reply,
            code,
            noReport
        } kind;
        Report report;
        int result;
    };

    mutable std::mutex lock;
    std::deque<Answer> answers;
    std::deque<int> sendFailures;
    std::vector<SentReport> sent;
    std::vector<GetCall> getCalls;
    int released = 0;
    bool gone = false;
    SendHook sendHook;
    std::size_t hookedSends = 0;
};

/** Makes device known to the test backend with the given ids, without
    opening it; returns the path its identifiers carry ("scripted:<n>"). */
std::string addScriptedDevice (const std::shared_ptr<ScriptedDevice>& device, int vendorId = 0x7A3C,
                               int productId = 0x6102);

/** Opens device as a qmhid::HIDDevice with the given ids.  The caller ends it
    with release(). */
qmhid::HIDDevice* openScriptedDevice (const std::shared_ptr<ScriptedDevice>& device, int vendorId = 0x7A3C,
                                      int productId = 0x6102);
} // namespace testbackend
