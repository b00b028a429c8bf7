// The simulated controller, driven through host handles of the virtual bus:
// what it answers, what it keeps, how it reboots and how it misbehaves.

#include "ControllerTestHost.h"

#include <SimulatedController.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>

namespace sim
{
inline void PrintTo (RequestKind kind, std::ostream* os)
{
    *os << toString (kind);
}
} // namespace sim

using namespace sim;
using namespace simtest;

namespace
{
constexpr int generousMs = 10000;

std::vector<Verdict> verdicts (const std::vector<std::optional<HidReport>>& replies)
{
    std::vector<Verdict> v;
    for (const auto& r : replies)
        v.push_back (verdictOf (r));
    return v;
}

/** ACK to the first block, nothing to the middle ones, last to the last. */
std::vector<Verdict> pass (std::size_t blocks, Verdict last)
{
    std::vector<Verdict> v (blocks, Verdict::none);
    v.front() = Verdict::ack;
    v.back() = last;
    return v;
}

std::vector<std::uint8_t> concatenated (const std::vector<Block>& blocks)
{
    std::vector<std::uint8_t> bytes;
    for (const auto& b : blocks)
        bytes.insert (bytes.end(), b.begin(), b.end());
    return bytes;
}

HidReport reportOf (std::initializer_list<std::uint8_t> leading, const char* textAt16 = "")
{
    HidReport r{};
    std::copy (leading.begin(), leading.end(), r.begin());
    std::memcpy (r.data() + 16, textAt16, std::min<std::size_t> (std::strlen (textAt16), 16));
    return r;
}

class SimulatedControllerTest : public testing::Test
{
protected:
    void SetUp() override { start (ControllerIdentity::km3300()); }

    void TearDown() override
    {
        host.reset();
        controller->unplug();
    }

    void start (const ControllerIdentity& identity, int port = -1)
    {
        host.reset();
        if (controller != nullptr)
            controller->unplug();
        controller = SimulatedController::create (identity);
        controller->setFlashTimeMs (5);
        controller->setRebootTimeMs (5);
        host = std::make_unique<TestHost> (controller->plugIn (port));
        ASSERT_TRUE (host->isOpen());
    }

    /** A select and the whole file, answered as a good load is. */
    void load (const std::vector<std::uint8_t>& image)
    {
        ASSERT_EQ (verdictOf (host->exchange (selectRequest())), Verdict::ack);
        const auto replies = host->sendFile (image);
        ASSERT_EQ (verdicts (replies), pass (replies.size(), Verdict::ack));
    }

    bool waitForPlugs (int plugs)
    {
        return controller->waitUntil ([plugs] (const ControllerRecord& r) { return r.plugs == plugs; },
                                      generousMs);
    }

    bool waitForUnplugs (int unplugs)
    {
        return controller->waitUntil ([unplugs] (const ControllerRecord& r) { return r.unplugs == unplugs; },
                                      generousMs);
    }

    std::shared_ptr<SimulatedController> controller;
    std::unique_ptr<TestHost> host;

    /** Three blocks: first, middle, and a last one with 22 bytes of file. */
    const std::vector<std::uint8_t> small = makeUpdateFile ({ 80 });
    const std::vector<Block> smallBlocks = hostBlocks (small);
};

//==============================================================================
TEST_F (SimulatedControllerTest, CapsReplyDescribesTheController)
{
    ControllerIdentity other = ControllerIdentity::km3800 (ControllerIdentity::normalMode);
    other.vendorId = 0xFF00;
    other.unitNumber = 9;
    other.firmwareVersion = 0x0123;
    other.inputChannels = 6;
    other.audioBufferSize = 0x0200;
    other.modelName = "ABCDEFGHIJKLMNOPQRS";

    ControllerIdentity unnamed = ControllerIdentity::km3300();
    unnamed.unitNumber = 15;
    unnamed.modelName.clear();

    const struct
    {
        const char* name;
        ControllerIdentity identity;
        std::uint16_t vendorId;
        std::uint16_t productId;
        HidReport reply;
    } cases[] = {
        { "KM3300 in update mode", ControllerIdentity::km3300(), 0x7A3C, 0x6102,
          reportOf ({ 0x41, 0x04, 0x21, 0x01, 0x00, 4, 4, 0x07, 0x02, 24, 0x01, 0x00, 0x02 }, "QM-KM3300") },
        { "KM3800 in normal mode, name cut at 16", other, 0xFF00, 0x6109,
          reportOf ({ 0x42, 0x94, 0x21, 0x01, 0x23, 6, 4, 0x07, 0x02, 24, 0x02, 0x00, 0x01 },
                    "ABCDEFGHIJKLMNOP") },
        { "unit 15 without a name", unnamed, 0x7A3C, 0x6102,
          reportOf ({ 0x41, 0xF4, 0x21, 0x01, 0x00, 4, 4, 0x07, 0x02, 24, 0x01, 0x00, 0x02 }) },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        start (c.identity);

        const auto description = VirtualHidBus::instance().describe (controller->deviceId());
        ASSERT_TRUE (description.has_value());
        EXPECT_EQ (description->vendorId, c.vendorId);
        EXPECT_EQ (description->productId, c.productId);
        EXPECT_EQ (description->inputReportBytes, 32);
        EXPECT_EQ (description->outputReportBytes, 32);

        EXPECT_EQ (host->exchange (capsPoll()), c.reply);
    }
}

//==============================================================================
TEST_F (SimulatedControllerTest, AssemblesAWholeLoadAndAcknowledgesItWithTheTimeout)
{
    UpdateFileOptions nameOfFFs;
    nameOfFFs.modelName = std::string (16, '\xFF');

    const struct
    {
        const char* name;
        std::vector<std::uint8_t> file;
    } cases[] = {
        { "a multiple of 29 bytes: no filler", makeUpdateFile ({ 29 * 40 }) },
        { "28 bytes of filler", makeUpdateFile ({ 29 * 34 + 1 }) },
        { "some filler", makeUpdateFile ({ 1000 }) },
        { "the shortest file: two blocks", makeUpdateFile ({ 32 }) },
        { "a name of 0xFF that is not the legacy length", makeUpdateFile (nameOfFFs) },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        start (ControllerIdentity::km3300());
        controller->setExecuteTimeoutSeconds (300);
        const auto blocks = hostBlocks (c.file);

        EXPECT_EQ (host->exchange (selectRequest()), reportOf ({ 0x41, 0x0B, 0x06 }));
        const auto replies = host->sendFile (c.file);
        ASSERT_EQ (verdicts (replies), pass (blocks.size(), Verdict::ack));
        EXPECT_EQ (replies.back(), reportOf ({ 0x41, 0x0B, 0x06, 0x01, 0x2C }));

        const auto record = controller->record();
        EXPECT_EQ (record.image, concatenated (blocks));
        EXPECT_EQ (controller->loadedFile(), c.file);
        EXPECT_EQ (record.sessions, 1);
        EXPECT_EQ (record.passes, 1);

        std::vector<RequestKind> expectedKinds (blocks.size() + 1, RequestKind::middleBlock);
        expectedKinds[0] = RequestKind::select;
        expectedKinds[1] = RequestKind::firstBlock;
        expectedKinds.back() = RequestKind::lastBlock;
        std::vector<RequestKind> kinds;
        for (const auto& r : record.received)
            kinds.push_back (r.kind);
        EXPECT_EQ (kinds, expectedKinds);

        ASSERT_EQ (record.sent.size(), 3u);
        EXPECT_EQ (record.sent[0].inReplyTo, RequestKind::select);
        EXPECT_EQ (record.sent[1].inReplyTo, RequestKind::firstBlock);
        EXPECT_EQ (record.sent[2].inReplyTo, RequestKind::lastBlock);
        EXPECT_EQ (record.sent[2].bytes, *replies.back());
    }
}

TEST_F (SimulatedControllerTest, RefusesAnImageThatIsNotAValidUpdateFile)
{
    auto corrupt = makeUpdateFile();
    corrupt[100] ^= 0x01;

    auto shorter = makeUpdateFile();
    setTrailerSize (shorter, (std::uint32_t) shorter.size() - 1);
    restampCrc (shorter);

    auto longer = makeUpdateFile();
    setTrailerSize (longer, (std::uint32_t) longer.size() + 1);
    restampCrc (longer);

    auto legacyCorrupt = makeLegacyFile (0x0150);
    legacyCorrupt[0x1234] ^= 0x80;

    const struct
    {
        const char* name;
        std::vector<std::uint8_t> file;
        std::size_t flashCapacity;
    } cases[] = {
        { "one byte changed", corrupt, 0x100000 },
        { "the trailer names a shorter file", shorter, 0x100000 },
        { "the trailer names a longer file", longer, 0x100000 },
        { "a legacy image with a bad CRC", legacyCorrupt, 0x100000 },
        { "more than the flash holds", makeUpdateFile(), 29 * 20 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        start (ControllerIdentity::km3300());
        controller->setFlashCapacity (c.flashCapacity);

        ASSERT_EQ (verdictOf (host->exchange (selectRequest())), Verdict::ack);
        const auto replies = host->sendFile (c.file);
        EXPECT_EQ (verdicts (replies), pass (replies.size(), Verdict::nak));
        EXPECT_TRUE (controller->loadedFile().empty());

        // Nothing to flash.
        EXPECT_EQ (verdictOf (host->exchange (executeRequest())), Verdict::nak);
        EXPECT_EQ (controller->record().executeRequests, 1);
        EXPECT_EQ (controller->record().reboots, 0);
    }
}

//==============================================================================
struct Step
{
    HidReport request;
    Verdict reply;
};

struct Script
{
    const char* name;
    std::function<void (SimulatedController&)> arm;
    std::vector<Step> steps;
    bool loaded;
    ControllerIdentity identity = ControllerIdentity::km3300();
};

class ScriptedControllerTest : public SimulatedControllerTest
{
protected:
    Step first (Verdict v) const { return { blockRequest (BlockPlace::first, smallBlocks[0]), v }; }
    Step middle() const { return { blockRequest (BlockPlace::middle, smallBlocks[1]), Verdict::none }; }
    Step last (Verdict v) const { return { blockRequest (BlockPlace::last, smallBlocks[2]), v }; }
    static Step select (Verdict v) { return { selectRequest(), v }; }
    static Step eot() { return { endOfTransmission(), Verdict::none }; }

    std::vector<Step> fullPass (Verdict lastVerdict) const
    {
        return { first (Verdict::ack), middle(), last (lastVerdict) };
    }

    static std::vector<Step> join (std::initializer_list<std::vector<Step>> parts)
    {
        std::vector<Step> all;
        for (const auto& p : parts)
            all.insert (all.end(), p.begin(), p.end());
        return all;
    }

    void run (const Script& script)
    {
        SCOPED_TRACE (script.name);
        start (script.identity);
        if (script.arm)
            script.arm (*controller);

        for (std::size_t i = 0; i < script.steps.size(); ++i)
        {
            SCOPED_TRACE ("step " + std::to_string (i + 1));
            EXPECT_EQ (verdictOf (host->exchange (script.steps[i].request)), script.steps[i].reply);
        }
        EXPECT_EQ (controller->loadedFile() == small, script.loaded);
    }
};

TEST_F (ScriptedControllerTest, SessionRules)
{
    const auto normal = ControllerIdentity::km3300 (ControllerIdentity::normalMode);
    HidReport unknownCommand = selectRequest();
    unknownCommand[2] = 0x41;
    HidReport unknownKind = capsPoll();
    unknownKind[1] = 0xF7;

    const Script scripts[] = {
        { "blocks before any select are refused",
          nullptr,
          { first (Verdict::nak), middle(), last (Verdict::nak) },
          false },
        { "an end of transmission closes the session; a new select opens one", nullptr,
          join ({ { select (Verdict::ack), first (Verdict::ack), eot(), middle(), last (Verdict::nak) },
                  { select (Verdict::ack) },
                  fullPass (Verdict::ack) }),
          true },
        { "after a load and its end of transmission, blocks are refused and the image stays", nullptr,
          join ({ { select (Verdict::ack) }, fullPass (Verdict::ack), { eot(), first (Verdict::nak) } }),
          true },
        { "middle blocks before the first block have no place in the image", nullptr,
          join ({ { select (Verdict::ack), middle() }, fullPass (Verdict::ack) }), true },
        { "a select in the middle of a load starts afresh", nullptr,
          join ({ { select (Verdict::ack), first (Verdict::ack), middle(), select (Verdict::ack),
                    last (Verdict::nak) },
                  fullPass (Verdict::ack) }),
          true },
        { "a last block sent again after its ACK is refused; the image stays", nullptr,
          join ({ { select (Verdict::ack) }, fullPass (Verdict::ack), { last (Verdict::nak) } }), true },
        { "a new first block drops the complete image", nullptr,
          join ({ { select (Verdict::ack) }, fullPass (Verdict::ack), { first (Verdict::ack) } }), false },
        { "in normal mode there is no session",
          nullptr,
          { select (Verdict::nak), first (Verdict::nak), middle(), last (Verdict::nak) },
          false,
          normal },
        { "execute without an image is refused",
          nullptr,
          { select (Verdict::ack), first (Verdict::ack), middle(), { executeRequest(), Verdict::nak } },
          false },
        { "reports it does not know are ignored",
          nullptr,
          { { unknownCommand, Verdict::none },
            { unknownKind, Verdict::none },
            { capsPoll(), Verdict::caps } },
          false },
    };

    for (const auto& script : scripts)
        run (script);
}

TEST_F (ScriptedControllerTest, CountedRefusalsEndAfterTheirCount)
{
    const Script scripts[] = {
        { "select refused twice", [] (SimulatedController& c) { c.nakSelect (2); },
          join ({ { select (Verdict::nak), select (Verdict::nak), select (Verdict::ack) },
                  fullPass (Verdict::ack) }),
          true },
        { "first block refused once",
          [] (SimulatedController& c) { c.nakFirstBlock (1); },
          { select (Verdict::ack), first (Verdict::nak), first (Verdict::ack), middle(),
            last (Verdict::ack) },
          true },
        { "last block refused on two passes", [] (SimulatedController& c) { c.nakLastBlock (2); },
          join ({ { select (Verdict::ack) },
                  fullPass (Verdict::nak),
                  fullPass (Verdict::nak),
                  fullPass (Verdict::ack) }),
          true },
    };

    for (const auto& script : scripts)
        run (script);

    // The last script: three passes in one session, the image that of the last.
    const auto record = controller->record();
    EXPECT_EQ (record.sessions, 1);
    EXPECT_EQ (record.passes, 3);
    EXPECT_EQ (record.image, concatenated (smallBlocks));

    // A refused first block starts nothing: the image held stays.
    ASSERT_EQ (controller->loadedFile(), small);
    controller->nakFirstBlock();
    EXPECT_EQ (verdictOf (host->exchange (first (Verdict::nak).request)), Verdict::nak);
    EXPECT_EQ (controller->loadedFile(), small);
    EXPECT_EQ (controller->record().image, concatenated (smallBlocks));
}

//==============================================================================
TEST_F (ScriptedControllerTest, SpoiledRepliesToEachKindOfRequest)
{
    // What comes before each request, and the reply it normally gets.
    const struct
    {
        RequestKind kind;
        std::vector<Step> before;
        Step request;
    } requests[] = {
        { RequestKind::capsPoll, {}, { capsPoll(), Verdict::caps } },
        { RequestKind::select, {}, select (Verdict::ack) },
        { RequestKind::firstBlock, { select (Verdict::ack) }, first (Verdict::ack) },
        { RequestKind::lastBlock,
          { select (Verdict::ack), first (Verdict::ack), middle() },
          last (Verdict::ack) },
    };
    constexpr int lateMs = 200;

    for (const auto& r : requests)
    {
        for (auto fault : { ReplyFault::drop, ReplyFault::late, ReplyFault::wrongKind, ReplyFault::garbage })
        {
            SCOPED_TRACE (std::string (toString (r.kind)) + ", fault " + std::to_string ((int) fault));
            start (ControllerIdentity::km3300());
            controller->armReplyFault (r.kind, fault, 1, lateMs);

            for (const auto& step : r.before)
                ASSERT_EQ (verdictOf (host->exchange (step.request)), step.reply);
            const auto sentBefore = controller->record().sent.size();

            const auto sentAt = std::chrono::steady_clock::now();
            const auto reply = host->exchange (r.request.request);
            switch (fault)
            {
                case ReplyFault::drop:
                    EXPECT_FALSE (reply.has_value());
                    EXPECT_EQ (controller->record().sent.size(), sentBefore);
                    break;
                case ReplyFault::late:
                {
                    EXPECT_FALSE (reply.has_value());
                    const auto arrival = host->nextReply (generousMs);
                    ASSERT_TRUE (arrival.has_value());
                    EXPECT_EQ (verdictOf (arrival->bytes), r.request.reply);
                    EXPECT_NE (arrival->thread, std::this_thread::get_id());
                    EXPECT_GE (std::chrono::steady_clock::now() - sentAt, std::chrono::milliseconds (lateMs));
                    break;
                }
                case ReplyFault::wrongKind:
                    EXPECT_EQ (verdictOf (reply),
                               r.request.reply == Verdict::caps ? Verdict::ack : Verdict::caps);
                    break;
                case ReplyFault::garbage:
                    EXPECT_EQ (verdictOf (reply), Verdict::other);
                    break;
            }

            // Once only: the same exchange again is answered as it should be.
            for (const auto& step : r.before)
                ASSERT_EQ (verdictOf (host->exchange (step.request)), step.reply);
            EXPECT_EQ (verdictOf (host->exchange (r.request.request)), r.request.reply);
        }
    }
}

TEST_F (SimulatedControllerTest, StoppedControllerTakesReportsOrRefusesThem)
{
    controller->stopAnswering();
    EXPECT_EQ (host->write (capsPoll()), HostHandle::WriteResult::ok);
    EXPECT_EQ (host->exchange (selectRequest()), std::nullopt);
    EXPECT_EQ (host->pendingReplies(), 0u);
    EXPECT_EQ (controller->record().received.size(), 2u);

    controller->stopAnswering (true);
    EXPECT_EQ (host->write (capsPoll(), 100), HostHandle::WriteResult::timedOut);
    EXPECT_EQ (controller->record().received.size(), 2u);

    controller->resumeAnswering();
    EXPECT_EQ (verdictOf (host->exchange (capsPoll())), Verdict::caps);
}

TEST_F (SimulatedControllerTest, GoesAwayAfterTheArmedBlockOfTheSession)
{
    const struct
    {
        const char* name;
        int block;
        int lastBlockNaks;
        std::vector<Verdict> before; ///< the replies to the blocks before it
        std::size_t imageBlocks;
    } cases[] = {
        { "the first block, unanswered", 1, 0, {}, 1 },
        { "a middle block", 2, 0, { Verdict::ack }, 2 },
        { "counted across passes", 5, 1, { Verdict::ack, Verdict::none, Verdict::nak, Verdict::ack }, 2 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        start (ControllerIdentity::km3300());
        controller->nakLastBlock (c.lastBlockNaks);
        controller->unplugAfterBlock (c.block);

        ASSERT_EQ (verdictOf (host->exchange (selectRequest())), Verdict::ack);
        std::vector<Verdict> replies;
        for (int i = 0; i < c.block - 1; ++i)
        {
            const auto place = i % 3 == 0   ? BlockPlace::first
                               : i % 3 == 1 ? BlockPlace::middle
                                            : BlockPlace::last;
            replies.push_back (
                verdictOf (host->exchange (blockRequest (place, smallBlocks[(size_t) i % 3]))));
        }
        EXPECT_EQ (replies, c.before);

        const int k = c.block - 1;
        const auto place = k % 3 == 0 ? BlockPlace::first : BlockPlace::middle;
        EXPECT_EQ (host->exchange (blockRequest (place, smallBlocks[(size_t) k % 3])), std::nullopt);

        ASSERT_TRUE (waitForUnplugs (1));
        EXPECT_EQ (host->write (blockRequest (BlockPlace::middle, smallBlocks[1])),
                   HostHandle::WriteResult::gone);
        EXPECT_FALSE (controller->isPlugged());
        EXPECT_EQ (controller->record().image.size(), c.imageBlocks * 29);
        EXPECT_EQ (controller->record().received.back().kind,
                   place == BlockPlace::first ? RequestKind::firstBlock : RequestKind::middleBlock);
    }
}

//==============================================================================
/** Keeps plugs (+id) and unplugs (-id) in order, and how many reports the
    watched host had received when a device went. */
class PlugLog : public BusObserver
{
public:
    explicit PlugLog (TestHost& hostToWatch)
        : watched (hostToWatch)
    {
        VirtualHidBus::instance().addObserver (this);
    }

    ~PlugLog() override { VirtualHidBus::instance().removeObserver (this); }

    void devicePlugged (DeviceId id) override
    {
        std::lock_guard<std::mutex> guard (lock);
        events.push_back ((long long) id);
    }

    void deviceUnplugged (DeviceId id) override
    {
        const auto count = watched.receivedCount();
        std::lock_guard<std::mutex> guard (lock);
        events.push_back (-(long long) id);
        receivedWhenGone = count;
    }

    std::vector<long long> take()
    {
        std::lock_guard<std::mutex> guard (lock);
        return std::exchange (events, {});
    }

    std::size_t receivedByThen()
    {
        std::lock_guard<std::mutex> guard (lock);
        return receivedWhenGone;
    }

private:
    TestHost& watched;
    std::mutex lock;
    std::vector<long long> events;
    std::size_t receivedWhenGone = 0;
};

TEST_F (SimulatedControllerTest, ExecuteFlashesThenRebootsIntoNormalModeWithTheNewVersion)
{
    const struct
    {
        const char* name;
        std::vector<std::uint8_t> file;
        std::uint16_t newVersion;
    } cases[] = {
        { "current form: the trailer's version", makeUpdateFile ({ 1000, 0x0207 }), 0x0207 },
        { "legacy form: the version at 0x7A000", makeLegacyFile (0x0150), 0x0150 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        // Not the lowest free port, so that coming back there is no accident.
        constexpr int port = 3;
        start (ControllerIdentity::km3300(), port);
        const DeviceId before = controller->deviceId();
        ASSERT_EQ (controller->port(), port);
        load (c.file);
        EXPECT_EQ (host->exchange (endOfTransmission()), std::nullopt);

        PlugLog plugs (*host);
        const auto receivedBefore = host->receivedCount();
        EXPECT_EQ (host->write (executeRequest()), HostHandle::WriteResult::ok);
        const auto ack = host->nextReply (generousMs);
        ASSERT_TRUE (ack.has_value());
        EXPECT_EQ (ack->bytes, reportOf ({ 0x41, 0x0B, 0x06 }));
        // Not answered during the write: the ACK comes from the bus's timer
        // once the flash is done, however late the writer looks.
        EXPECT_NE (ack->thread, std::this_thread::get_id());

        ASSERT_TRUE (waitForPlugs (2));
        const DeviceId after = controller->deviceId();
        EXPECT_NE (after, before);
        EXPECT_EQ ((plugs.take()), (std::vector<long long>{ -(long long) before, (long long) after }));
        EXPECT_EQ (plugs.receivedByThen(), receivedBefore + 1) << "the ACK comes before the controller goes";
        EXPECT_EQ (VirtualHidBus::instance().describe (after)->port, port);
        EXPECT_EQ (host->write (capsPoll()), HostHandle::WriteResult::gone);

        TestHost rebooted (after);
        const auto caps = rebooted.exchange (capsPoll());
        ASSERT_EQ (verdictOf (caps), Verdict::caps);
        EXPECT_EQ ((*caps)[3] * 256 + (*caps)[4], c.newVersion);
        EXPECT_EQ ((*caps)[12], ControllerIdentity::normalMode);
        EXPECT_EQ (verdictOf (rebooted.exchange (selectRequest())), Verdict::nak);

        const auto record = controller->record();
        EXPECT_EQ (record.executeRequests, 1);
        EXPECT_EQ (record.reboots, 1);
    }
}

TEST_F (SimulatedControllerTest, SpoiledExecuteReplyStillReboots)
{
    constexpr int lateMs = 200;
    const struct
    {
        ReplyFault fault;
        Verdict reply;
    } cases[] = {
        { ReplyFault::drop, Verdict::none },
        { ReplyFault::late, Verdict::ack },
        { ReplyFault::wrongKind, Verdict::caps },
        { ReplyFault::garbage, Verdict::other },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE ("fault " + std::to_string ((int) c.fault));
        start (ControllerIdentity::km3300());
        load (small);
        controller->armReplyFault (RequestKind::execute, c.fault, 1, lateMs);

        const auto sentAt = std::chrono::steady_clock::now();
        host->write (executeRequest());
        ASSERT_TRUE (waitForPlugs (2));

        // Whatever reply there was went out before the controller did.
        std::optional<HidReport> reply;
        if (host->pendingReplies() > 0)
            reply = host->nextReply (0)->bytes;
        EXPECT_EQ (verdictOf (reply), c.reply);
        if (c.fault == ReplyFault::late)
        {
            EXPECT_GE (std::chrono::steady_clock::now() - sentAt, std::chrono::milliseconds (lateMs));
        }
        EXPECT_EQ (controller->record().reboots, 1);
    }
}

TEST_F (SimulatedControllerTest, FlashingControllerHearsNothingAndLosesTheFlashingWithThePower)
{
    controller->setFlashTimeMs (60000);
    load (small);
    EXPECT_EQ (host->exchange (executeRequest()), std::nullopt);
    EXPECT_EQ (host->exchange (capsPoll()), std::nullopt);
    EXPECT_EQ (host->exchange (selectRequest()), std::nullopt);
    EXPECT_EQ (controller->record().received.back().kind, RequestKind::select);

    // Pulled out mid-flash: it comes back as it was, without the image.
    controller->unplug();
    host = std::make_unique<TestHost> (controller->plugIn());
    const auto caps = host->exchange (capsPoll());
    ASSERT_EQ (verdictOf (caps), Verdict::caps);
    EXPECT_EQ ((*caps)[3] * 256 + (*caps)[4], ControllerIdentity::km3300().firmwareVersion);
    EXPECT_EQ ((*caps)[12], ControllerIdentity::updateMode);
    EXPECT_EQ (verdictOf (host->exchange (executeRequest())), Verdict::nak);
    EXPECT_EQ (controller->record().reboots, 0);
}

TEST_F (SimulatedControllerTest, UnpluggedDuringExecuteStaysAwayUnflashed)
{
    load (small);
    controller->unplugDuringExecute();

    EXPECT_EQ (host->exchange (executeRequest()), std::nullopt);
    ASSERT_TRUE (waitForUnplugs (1));
    EXPECT_FALSE (controller->isPlugged());
    EXPECT_EQ (host->pendingReplies(), 0u);

    const auto record = controller->record();
    EXPECT_EQ (record.executeRequests, 1);
    EXPECT_EQ (record.reboots, 0);
    EXPECT_EQ (controller->identity().firmwareVersion, ControllerIdentity::km3300().firmwareVersion);
}

TEST_F (SimulatedControllerTest, NeverConfirmedExecuteLeavesTheControllerAsItWas)
{
    load (small);
    controller->neverConfirmExecute();

    EXPECT_EQ (host->exchange (executeRequest()), std::nullopt);
    EXPECT_EQ (host->exchange (executeRequest()), std::nullopt);
    // Not flashing: a flashing controller would not answer the poll.
    const auto caps = host->exchange (capsPoll());
    ASSERT_EQ (verdictOf (caps), Verdict::caps);
    EXPECT_EQ ((*caps)[12], ControllerIdentity::updateMode);

    const auto record = controller->record();
    EXPECT_EQ (record.executeRequests, 2);
    EXPECT_EQ (record.reboots, 0);
    EXPECT_TRUE (controller->isPlugged());
}
} // namespace
