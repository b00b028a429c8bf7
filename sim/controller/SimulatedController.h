#pragma once

// A simulated controller on the virtual HID bus.  The protocol and its
// faults are ControllerFirmware's (see its header for what the firmware does
// in each state); this class plugs it in, sends its replies at once, later or
// after the flashing time, and pulls it out and back in when it reboots.
//
// Threads: reports come on the host's writing thread, late replies, the end of
// the flashing, going away and coming back on the bus's timer thread.  One
// lock guards the firmware; the bus is never called with it held, since the
// bus calls back (plugged, unplugged).  A second, re-entrant lock keeps the
// device link alive while a late reply goes out.

#include "ControllerFirmware.h"

#include <VirtualHidBus.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace sim
{
/** A controller for the virtual HID bus: it answers the caps poll and the
    update conversation, keeps what it received, and misbehaves on demand.

    @code
    auto controller = SimulatedController::create (ControllerIdentity::km3300());
    controller->nakLastBlock (1);
    const DeviceId id = controller->plugIn();
    @endcode
*/
class SimulatedController : public DeviceModel, public std::enable_shared_from_this<SimulatedController>
{
public:
    static std::shared_ptr<SimulatedController> create (ControllerIdentity identity);

    //==============================================================================
    /** Its USB ids and name, 32-byte reports, and the port it had last (-1
        before the first plug). */
    DeviceDescription description() const;

    /** Plugs it in, into port or the lowest free one; the id it got, or the
        current one when it is in already. */
    DeviceId plugIn (int port = -1);

    /** Pulls it out, and keeps a reboot in progress from bringing it back. */
    void unplug();

    bool isPlugged() const;
    /** The id of the current plug, 0 while it is out. */
    DeviceId deviceId() const;
    /** The port of the last plug, -1 before the first. */
    int port() const;

    //==============================================================================
    ControllerIdentity identity() const;
    /** Takes effect from the next report; the USB ids from the next plug. */
    void setIdentity (const ControllerIdentity& identity);
    /** The seconds the ACK to a valid last block asks the host to wait for the
        execute; 30 by default. */
    void setExecuteTimeoutSeconds (std::uint16_t seconds);
    /** From the execute request to its ACK; 20 ms by default. */
    void setFlashTimeMs (int ms);
    /** From going away after the execute's ACK to coming back; 20 ms by default. */
    void setRebootTimeMs (int ms);
    /** The longest image the flash takes; 1 MiB by default. */
    void setFlashCapacity (std::size_t bytes);

    //==============================================================================
    // Faults.  Each counted one applies that many times, then the controller
    // behaves again.

    void nakSelect (int times = 1);
    void nakFirstBlock (int times = 1);
    /** Refuses the last block of the next passes, as if the image were corrupt. */
    void nakLastBlock (int passes = 1);
    void dropReply (RequestKind kind, int times = 1);
    /** The replies go out delayMs after the request, from the bus's timer. */
    void replyLate (RequestKind kind, int delayMs, int times = 1);
    /** An ACK or NAK becomes a caps reply, a caps reply an ACK. */
    void replyWrongKind (RequestKind kind, int times = 1);
    void replyGarbage (RequestKind kind, int times = 1);
    void armReplyFault (RequestKind kind, ReplyFault fault, int times = 1, int delayMs = 0);
    /** Answers nothing until resumeAnswering; with refuseReports the writes
        are not even taken and time out. */
    void stopAnswering (bool refuseReports = false);
    void resumeAnswering();
    /** Goes away (for good) once the session's block number block (from 1)
        is taken, without replying to it. */
    void unplugAfterBlock (int block);
    /** Goes away (for good) when the next execute request arrives. */
    void unplugDuringExecute();
    /** Takes execute requests and never answers them; nothing is flashed. */
    void neverConfirmExecute (bool on = true);
    void clearFaults();

    //==============================================================================
    ControllerRecord record() const;
    /** Forgets the reports and replies so far and zeroes the counts (for long
        runs); the image being received stays. */
    void clearRecord();
    /** The valid update file it holds, without filler; empty when none. */
    std::vector<std::uint8_t> loadedFile() const;

    /** Waits up to timeoutMs for condition to hold; it is tested under the
        controller's lock whenever something happens, so it must not call the
        controller. */
    bool waitUntil (const std::function<bool (const ControllerRecord&)>& condition, int timeoutMs) const;

    //==============================================================================
    void plugged (DeviceLink& link) override;
    void unplugged() override;
    bool outputReport (DeviceLink& link, const std::uint8_t* data, std::size_t len) override;

private:
    explicit SimulatedController (ControllerIdentity identity);

    template <typename Change>
    void change (Change&& c);

    DeviceId plugOnBus (int port, std::uint64_t ticket);
    void sendLater (DeviceId id, const ControllerFirmware::Reply& reply);
    void deliverFromTimer (DeviceId id, const ControllerFirmware::Reply& reply);
    void finishFlashing (DeviceId id);
    void comeBack (std::uint64_t ticket);

    mutable std::mutex lock;
    mutable std::condition_variable changed;
    ControllerFirmware firmware;
    bool in = false;
    DeviceId currentId = 0;
    int lastPort = -1;
    int rebootTimeMs = 20;
    /** Changed by every unplug that is not a reboot, so that a planned return
        knows it was called off. */
    std::uint64_t returnTicket = 0;
    DeviceId rebootingId = 0;

    std::recursive_mutex linkLock;
    DeviceLink* link = nullptr;
    DeviceId linkId = 0;
};
} // namespace sim
