#pragma once

// The controller's side of the update protocol, without the bus: one report
// in, what to do about it out.  SimulatedController puts it on the bus; the
// logic lives here so that it can be followed without threads.
//
// How the firmware behaves where the host's side does not say:
// - A caps poll is answered in every state but flashing.
// - A select is refused (NAK) outside update mode.  In update mode it opens a
//   session and drops any half-received image, so a select repeated because
//   its ACK was lost, or a select in the middle of a load, starts afresh.  An
//   image already received whole and valid stays until a new first block.
// - Blocks outside a session (before any select, or after an end of
//   transmission) are refused: a first or last block gets a NAK, a middle
//   block, which has no reply, is dropped.
// - A first block starts a new image (and drops any earlier one); middle
//   blocks before a first block are dropped, since they have no place in an
//   image; a last block with no image being received gets a NAK.  So a last
//   block sent again after its ACK was lost is refused and the host sends the
//   whole image again.
// - The last block completes the image: ACK with the execution time-out when
//   it holds a valid update file, NAK otherwise.
// - An execute is taken only with a valid image (in or after its session); it
//   closes the session, flashes for the flashing time, ACKs and reboots into
//   normal mode with the image's version.  Without a valid image it is
//   refused.  While flashing, every report is ignored.
// - An end of transmission closes the session; a half-received image goes,
//   a valid one stays for the execute.
// - Reports that are not 32 bytes long or that the controller does not know
//   are recorded and ignored; so is an ASIO setting request, which changes
//   nothing here.
// - Images longer than the flash can hold are refused at the last block.

#include "UpdateImage.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim
{
/** One 32-byte report, as the controller sends and receives it. */
using HidReport = std::array<std::uint8_t, 32>;

/** Who a simulated controller is: its USB ids and what its caps reply says. */
struct ControllerIdentity
{
    static constexpr std::uint8_t updateMode = 2;
    static constexpr std::uint8_t normalMode = 1;

    /** The USB product string the bus shows. */
    std::string productName;
    std::uint16_t vendorId = 0x7A3C;
    std::uint16_t productId = 0;

    std::uint8_t modelNumber = 0;
    /** 0 to 15. */
    std::uint8_t unitNumber = 0;
    std::uint16_t firmwareVersion = 0x0100;
    std::uint8_t inputChannels = 4;
    std::uint8_t outputChannels = 4;
    std::uint8_t samplingFrequencyInfo = 0x07;
    std::uint8_t samplingFrequency = 0x02;
    std::uint8_t maximumAudioBitResolution = 24;
    std::uint16_t audioBufferSize = 256;
    std::uint8_t operationMode = updateMode;
    /** At most 16 characters reach the caps reply; may be empty. */
    std::string modelName;

    /** The "QM-KM3300": product id 0x6102, model number 0x41. */
    static ControllerIdentity km3300 (std::uint8_t operationMode = updateMode);
    /** The "QM-KM3800": product id 0x6109, model number 0x42. */
    static ControllerIdentity km3800 (std::uint8_t operationMode = updateMode);
};

/** What a received report asked for. */
enum class RequestKind
{
    capsPoll,
    asioSetting,
    select,
    firstBlock,
    middleBlock,
    lastBlock,
    execute,
    endOfTransmission,
    unknown
};

const char* toString (RequestKind kind);

/** What a sent reply was. */
enum class ReplyKind
{
    ack,
    nak,
    caps,
    garbage
};

/** Ways of spoiling the replies to one kind of request. */
enum class ReplyFault
{
    drop,      ///< no reply at all
    late,      ///< the reply goes out after a delay
    wrongKind, ///< a caps reply instead of an ACK or NAK, an ACK instead of a caps reply
    garbage    ///< 32 bytes of no known kind
};

/** One output report the controller took. */
struct ReceivedReport
{
    RequestKind kind;
    std::vector<std::uint8_t> bytes;
};

/** One input report the controller sent. */
struct SentReply
{
    RequestKind inReplyTo;
    ReplyKind kind;
    HidReport bytes;
};

/** Everything the controller received and did, for tests to look at. */
struct ControllerRecord
{
    /** Every report taken, in order, with the kind it was taken for. */
    std::vector<ReceivedReport> received;
    /** Every reply that went out, in order. */
    std::vector<SentReply> sent;
    /** The payloads of the current or last pass, filler included. */
    std::vector<std::uint8_t> image;
    /** Accepted selects. */
    int sessions = 0;
    /** Accepted first blocks. */
    int passes = 0;
    /** Execute requests received. */
    int executeRequests = 0;
    /** Flashings completed. */
    int reboots = 0;
    /** Times it was plugged in (counted once the bus lists it) and pulled out
        (once the bus has told its observers). */
    int plugs = 0;
    int unplugs = 0;
};

/** The protocol core of a simulated controller: state, faults and record.
    Not thread-safe; SimulatedController guards it. */
class ControllerFirmware
{
public:
    explicit ControllerFirmware (ControllerIdentity identity);

    /** A reply to send, at once or after delayMs. */
    struct Reply
    {
        HidReport bytes;
        ReplyKind kind;
        RequestKind inReplyTo;
        int delayMs = 0;
    };

    /** What to do about one output report. */
    struct Reaction
    {
        /** False: the endpoint stays busy and the host's write times out. */
        bool taken = true;
        std::optional<Reply> reply;
        /** The controller has been pulled out: unplug it, for good. */
        bool goAway = false;
        /** 0 or more: an execute was taken; call finishFlashing after this. */
        int flashForMs = -1;
    };

    Reaction handle (const std::uint8_t* data, std::size_t len);

    /** The flashing is over: the new version and normal mode are in place,
        and the controller reboots.  False when there was nothing flashing
        (the power went meanwhile). */
    bool finishFlashing (std::optional<Reply>& reply);

    /** Unplugged: the session, the image held and any flashing are lost; the
        record stays. */
    void powerLost();

    void notePlugged() { ++history.plugs; }
    void noteSent (const Reply& reply)
    {
        history.sent.push_back ({ reply.inReplyTo, reply.kind, reply.bytes });
    }

    const ControllerRecord& record() const { return history; }
    /** Forgets what was received and sent so far; the image being received
        stays, since it is also the flash's staging area. */
    void clearRecord();
    const ControllerIdentity& identity() const { return id; }
    void setIdentity (const ControllerIdentity& newIdentity) { id = newIdentity; }

    /** The valid update file received whole, trimmed of its filler; empty
        when there is none. */
    std::vector<std::uint8_t> loadedFile() const;
    bool isFlashing() const { return flashing; }

    //==============================================================================
    void setExecuteTimeoutSeconds (std::uint16_t seconds) { executeTimeoutSeconds = seconds; }
    void setFlashTimeMs (int ms) { flashTimeMs = ms < 0 ? 0 : ms; }
    void setFlashCapacity (std::size_t bytes) { flashCapacity = bytes; }

    //==============================================================================
    void nakSelect (int times) { nakSelects = times; }
    void nakFirstBlock (int times) { nakFirstBlocks = times; }
    /** The last block of each of the next passes is refused as corrupt. */
    void nakLastBlock (int passes) { nakLastBlocks = passes; }
    /** Spoils the next replies to kind; several faults armed for one kind
        apply in the order they were armed. */
    void armReplyFault (RequestKind kind, ReplyFault fault, int times, int delayMs = 0);
    /** Takes reports and answers nothing; with refuseReports the endpoint
        stays busy instead, so that writes time out. */
    void stopAnswering (bool refuseReports);
    void resumeAnswering();
    /** Pulled out once block number block (from 1, over the session's blocks)
        has been taken, before any reply to it. */
    void unplugAfterBlock (int block) { unplugAtBlock = block; }
    /** Pulled out when the next execute request arrives, before flashing. */
    void unplugDuringExecute() { unplugOnExecute = true; }
    /** Execute requests are taken and never answered; nothing is flashed. */
    void neverConfirmExecute (bool on) { ignoreExecute = on; }
    void clearFaults();

    static RequestKind classify (const std::uint8_t* data, std::size_t len);

private:
    struct ArmedFault
    {
        RequestKind kind;
        ReplyFault fault;
        int times;
        int delayMs;
    };

    std::optional<Reply> react (RequestKind kind, const std::uint8_t* data, Reaction& reaction);
    std::optional<Reply> takeBlock (RequestKind kind, const std::uint8_t* data);
    std::optional<Reply> takeExecute (Reaction& reaction);
    std::optional<ArmedFault> takeFault (RequestKind kind);
    void spoil (std::optional<Reply>& reply, const ArmedFault& fault);

    HidReport header (std::uint8_t communicationType, std::uint8_t messageType, std::uint8_t command) const;
    Reply ack (RequestKind to, std::uint16_t timeoutSeconds = 0) const;
    Reply nak (RequestKind to) const;
    Reply caps (RequestKind to) const;
    Reply garbage (RequestKind to);

    ControllerIdentity id;
    ControllerRecord history;

    std::uint16_t executeTimeoutSeconds = 30;
    int flashTimeMs = 20;
    std::size_t flashCapacity = 0x100000;

    bool sessionOpen = false;
    int sessionBlocks = 0;
    bool receiving = false; ///< a first block came and its last block has not
    bool overflowed = false;
    std::optional<UpdateImageInfo> loaded;
    bool flashing = false;
    std::optional<ArmedFault> executeFault;
    bool pulledOut = false;

    int nakSelects = 0;
    int nakFirstBlocks = 0;
    int nakLastBlocks = 0;
    std::vector<ArmedFault> replyFaults;
    bool silent = false;
    bool refusing = false;
    int unplugAtBlock = 0;
    bool unplugOnExecute = false;
    bool ignoreExecute = false;
    std::uint32_t garbageSeed = 0x2545F491;
};
} // namespace sim
