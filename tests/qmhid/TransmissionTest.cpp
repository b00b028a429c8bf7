// The request and reply sequences, checked byte for byte against a scripted
// device: requests, time-outs, result codes, out-parameters and log lines.

#include "ScriptedDevice.h"
#include "TestSupport.h"

#include <qmhid.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace qmhid;
using testbackend::makeReport;
using testbackend::Report;
using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8>;

namespace
{
const Report ack = makeReport ({ 0x00, 0x0B, 0x06 });
const Report nak = makeReport ({ 0xFF, 0xFB, 0x15 });
const Report capsHeaderOnly = makeReport ({ 0x41, 0x04, 0x21 });
constexpr int ioError = (int) 0xE00002D8; // any platform code passes through

Bytes request (std::initializer_list<uint8> leading)
{
    const Report r = makeReport (leading);
    return Bytes (r.begin(), r.end());
}

Report endAck (uint8 hi, uint8 lo)
{
    return makeReport ({ 0x00, 0x0B, 0x06, hi, lo });
}

class TransmissionTest : public testing::Test
{
protected:
    ~TransmissionTest() override { device->release(); }

    /** The log lines the test wrote, which the Windows flavour never writes. */
    void expectLog (const Lines& macLines)
    {
        if (ulktest::isMacFlavour())
        {
            EXPECT_EQ (log.newLines(), macLines);
        }
        else
        {
            EXPECT_FALSE (ulktest::fileExists (ulktest::processWorkingDirectory() + "/qmhid_log.txt"));
        }
    }

    std::vector<int> getTimeouts() const
    {
        std::vector<int> timeouts;
        for (const auto& call : script->gets())
        {
            EXPECT_EQ (call.len, 32);
            timeouts.push_back (call.timeoutMs);
        }
        return timeouts;
    }

    std::shared_ptr<testbackend::ScriptedDevice> script = std::make_shared<testbackend::ScriptedDevice>();
    HIDDevice* device = testbackend::openScriptedDevice (script);
    HIDTransmission transmission{ device };
    ulktest::LogCapture log;
};

struct HandshakeCase
{
    const char* name;
    std::function<void (testbackend::ScriptedDevice&)> script;
    int expectedCode;
    size_t expectedGets;
    Lines middleLines; ///< the lines between the entry line and the verdict
};

std::vector<HandshakeCase> handshakeCases()
{
    return {
        { "ack", [] (auto& s) { s.queueReply (ack); }, 0, 1, {} },
        { "ack of another model and unit",
          [] (auto& s) {
              s.queueReply (makeReport ({ 0x42, 0x5B, 0x06 }));
          },
          0,
          1,
          {} },
        { "nak", [] (auto& s) { s.queueReply (nak); }, 3, 1, { "Error - Handshake responce is NAK" } },
        { "caps reply",
          [] (auto& s) { s.queueReply (capsHeaderOnly); },
          5,
          1,
          { "Error - Handshake responce is not ACK" } },
        { "no reply",
          [] (auto& s) { s.queueNoReport(); },
          4,
          1,
          { "Error - Couldn't get handshake responce (4)" } },
        { "get fails",
          [] (auto& s) { s.queueCode (ioError); },
          ioError,
          1,
          { "Error - Couldn't get handshake responce (" + std::to_string (ioError) + ")" } },
        { "send fails",
          [] (auto& s) { s.queueSendFailure (ioError); },
          ioError,
          0,
          { "Error - Couldn't send handshake message" } },
    };
}
} // namespace

TEST_F (TransmissionTest, SelectHandshake)
{
    for (const auto& c : handshakeCases())
    {
        SCOPED_TRACE (c.name);
        auto s = std::make_shared<testbackend::ScriptedDevice>();
        c.script (*s);
        HIDDevice* d = testbackend::openScriptedDevice (s);
        HIDTransmission t (d);
        ulktest::LogCapture caseLog;

        EXPECT_EQ (t.sendVerUpSelect(), c.expectedCode);

        ASSERT_EQ (s->sends().size(), 1u);
        EXPECT_EQ (s->sends()[0].bytes, request ({ 0xFF, 0xF8, 0x40 }));
        EXPECT_EQ (s->sends()[0].timeoutMs, 100);
        ASSERT_EQ (s->gets().size(), c.expectedGets);
        if (c.expectedGets > 0)
        {
            EXPECT_EQ (s->gets()[0].timeoutMs, 100);
        }

        Lines expected{ "sendVerUpSelect()" };
        expected.insert (expected.end(), c.middleLines.begin(), c.middleLines.end());
        expected.push_back (c.expectedCode == 0
                                ? "ok - sendVerUpSelect()"
                                : "Error - sendVerUpSelect() : (" + std::to_string (c.expectedCode) + ")");
        if (ulktest::isMacFlavour())
        {
            EXPECT_EQ (caseLog.newLines(), expected);
        }
        d->release();
    }
}

TEST_F (TransmissionTest, ExecHandshakeUsesTheCallersTimeoutForBothWaits)
{
    for (const auto& c : handshakeCases())
    {
        SCOPED_TRACE (c.name);
        auto s = std::make_shared<testbackend::ScriptedDevice>();
        c.script (*s);
        HIDDevice* d = testbackend::openScriptedDevice (s);
        HIDTransmission t (d);
        ulktest::LogCapture caseLog;

        EXPECT_EQ (t.sendVerUpExec (60000), c.expectedCode);

        ASSERT_EQ (s->sends().size(), 1u);
        EXPECT_EQ (s->sends()[0].bytes, request ({ 0xFF, 0xF8, 0x22 }));
        EXPECT_EQ (s->sends()[0].timeoutMs, 60000);
        ASSERT_EQ (s->gets().size(), c.expectedGets);
        if (c.expectedGets > 0)
        {
            EXPECT_EQ (s->gets()[0].timeoutMs, 60000);
        }

        Lines expected{ "sendVerUpExec()" };
        expected.insert (expected.end(), c.middleLines.begin(), c.middleLines.end());
        expected.push_back (c.expectedCode == 0
                                ? "ok - sendVerUpExec()"
                                : "Error - sendVerUpExec() : (" + std::to_string (c.expectedCode) + ")");
        if (ulktest::isMacFlavour())
        {
            EXPECT_EQ (caseLog.newLines(), expected);
        }
        d->release();
    }
}

TEST_F (TransmissionTest, CapsPollFillsTheRecordAndLogsEveryByte)
{
    Report reply = makeReport ({ 0x41, 0x24, 0x21, 0x01, 0x23, 2, 2, 1, 3, 24, 0x02, 0x00, 2 });
    reply[13] = 0x80;
    std::memcpy (reply.data() + 16, "QM-KM3300", 9);
    script->queueReply (reply);

    ASIOCaps caps;
    std::memset (&caps, 0, sizeof (caps));
    EXPECT_EQ (transmission.getASIOCaps (&caps), 0);

    ASSERT_EQ (script->sends().size(), 1u);
    EXPECT_EQ (script->sends()[0].bytes, request ({ 0xFF, 0xF1, 0x21 }));
    EXPECT_EQ (script->sends()[0].timeoutMs, 100);
    EXPECT_EQ (getTimeouts(), std::vector<int>{ 1000 });

    EXPECT_EQ (caps.modelNumber, 0x41);
    EXPECT_EQ (caps.unitNumber, 2);
    EXPECT_EQ (caps.softwareVersion, 0x0123);
    EXPECT_EQ (caps.audioBufferSize, 512);
    EXPECT_EQ (caps.operationMode, 2);
    EXPECT_STREQ (caps.modelName, "QM-KM3300");

    Lines expected{ "getASIOCaps()" };
    for (int i = 0; i < 32; ++i)
        expected.push_back ("Asio caps data[" + std::to_string (i) +
                            "] : " + std::to_string ((int) reply[(size_t) i]));
    expected.push_back ("ok - getASIOCaps()");
    EXPECT_EQ (expected[14], "Asio caps data[13] : 128");
    expectLog (expected);
}

TEST_F (TransmissionTest, CapsPollFailuresLeaveTheRecordUntouched)
{
    struct Case
    {
        const char* name;
        std::function<void (testbackend::ScriptedDevice&)> script;
        int expectedCode;
        Lines lines;
    };

    const Case cases[] = {
        { "ack instead of caps",
          [] (auto& s) { s.queueReply (ack); },
          5,
          { "getASIOCaps()", "Error - Got poll asio caps responce but not ASIO caps message" } },
        { "no reply",
          [] (auto& s) { s.queueNoReport(); },
          4,
          { "getASIOCaps()", "Error - Couldn't get poll asio caps responce (4)" } },
        { "send fails",
          [] (auto& s) { s.queueSendFailure (ioError); },
          ioError,
          { "getASIOCaps()", "Error - Poll ASIO caps failed (" + std::to_string (ioError) + ")" } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto s = std::make_shared<testbackend::ScriptedDevice>();
        c.script (*s);
        HIDDevice* d = testbackend::openScriptedDevice (s);
        HIDTransmission t (d);
        ulktest::LogCapture caseLog;

        ASIOCaps caps;
        std::memset (&caps, 0xA5, sizeof (caps));
        EXPECT_EQ (t.getASIOCaps (&caps), c.expectedCode);

        ASIOCaps untouched;
        std::memset (&untouched, 0xA5, sizeof (untouched));
        EXPECT_EQ (std::memcmp (&caps, &untouched, sizeof (caps)), 0);
        if (ulktest::isMacFlavour())
        {
            EXPECT_EQ (caseLog.newLines(), c.lines);
        }
        d->release();
    }
}

TEST_F (TransmissionTest, FirmwareBlocksAndTheExecutionTimeout)
{
    const Bytes data = []
    {
        Bytes d;
        for (int i = 0; i < 40; ++i)
            d.push_back ((uint8) (0x30 + i));
        return d;
    }();

    struct Case
    {
        const char* name;
        int type;
        int len;
        std::function<void (testbackend::ScriptedDevice&)> script;
        uint8 byte1;
        int expectedCode;
        int expectedTimeout; ///< execTimeout afterwards; -1 for "untouched"
        size_t expectedGets;
        Lines lines;
    };

    const Lines ok{ "sendVersionUpData()", "ok - sendVersionUpData()" };
    const Case cases[] = {
        { "start", 0, 29, [] (auto& s) { s.queueReply (endAck (0x01, 0x2C)); }, 0xFC, 0, 15000, 1, ok },
        { "middle", 1, 29, [] (auto&) {}, 0xFD, 0, -1, 0, ok },
        { "type 3 is a middle block", 3, 29, [] (auto&) {}, 0xFD, 0, -1, 0, ok },
        { "type -1 is a middle block", -1, 10, [] (auto&) {}, 0xFD, 0, -1, 0, ok },
        { "end, 300 s", 2, 29, [] (auto& s) { s.queueReply (endAck (0x01, 0x2C)); }, 0xFE, 0, 300000, 1, ok },
        { "end, 0 s", 2, 29, [] (auto& s) { s.queueReply (endAck (0x00, 0x00)); }, 0xFE, 0, 0, 1, ok },
        { "end, most seconds", 2, 40, [] (auto& s) { s.queueReply (endAck (0xFF, 0xFF)); }, 0xFE, 0, 65535000,
          1, ok },
        { "end refused",
          2,
          29,
          [] (auto& s) { s.queueReply (nak); },
          0xFE,
          3,
          -1,
          1,
          { "sendVersionUpData()", "Error - Handshake responce is NAK" } },
        { "end answered by caps",
          2,
          29,
          [] (auto& s) { s.queueReply (capsHeaderOnly); },
          0xFE,
          5,
          -1,
          1,
          { "sendVersionUpData()", "Error - Handshake responce is not ACK" } },
        { "start not answered",
          0,
          29,
          [] (auto& s) { s.queueNoReport(); },
          0xFC,
          4,
          -1,
          1,
          { "sendVersionUpData()", "Error - Couldn't get handshake responce (4)" } },
        { "middle send fails",
          1,
          29,
          [] (auto& s) { s.queueSendFailure (ioError); },
          0xFD,
          ioError,
          -1,
          0,
          { "sendVersionUpData()", "Error - Couldn't send handshake message" } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto s = std::make_shared<testbackend::ScriptedDevice>();
        c.script (*s);
        HIDDevice* d = testbackend::openScriptedDevice (s);
        HIDTransmission t (d);
        ulktest::LogCapture caseLog;

        VersionUpDataResult result{ 7, -42 };
        EXPECT_EQ (
            t.sendVersionUpData ((HIDTransmission::VersionUpDataType) c.type, data.data(), c.len, &result),
            c.expectedCode);

        ASSERT_EQ (s->sends().size(), 1u);
        Bytes expected = request ({ 0xFF, c.byte1, 0x40 });
        std::copy_n (data.begin(), std::min (c.len, 29), expected.begin() + 3);
        EXPECT_EQ (s->sends()[0].bytes, expected);
        EXPECT_EQ (s->sends()[0].timeoutMs, 100);
        ASSERT_EQ (s->gets().size(), c.expectedGets);
        if (c.expectedGets > 0)
        {
            EXPECT_EQ (s->gets()[0].timeoutMs, 100);
        }

        if (c.expectedCode == 0)
        {
            EXPECT_EQ (result.flag, 0);
        }
        else
        {
            EXPECT_EQ (result.flag, 7);
        }
        EXPECT_EQ (result.execTimeout, c.expectedTimeout == -1 ? -42 : c.expectedTimeout);

        if (ulktest::isMacFlavour())
        {
            EXPECT_EQ (caseLog.newLines(), c.lines);
        }
        d->release();
    }
}

TEST_F (TransmissionTest, EndOfTransmissionIsOneWay)
{
    EXPECT_EQ (transmission.sendEndOfTransmission(), 0);
    script->queueSendFailure (ioError);
    EXPECT_EQ (transmission.sendEndOfTransmission(), ioError);

    ASSERT_EQ (script->sends().size(), 2u);
    EXPECT_EQ (script->sends()[0].bytes, request ({ 0xFF, 0xFB, 0x04 }));
    EXPECT_EQ (script->sends()[0].timeoutMs, 100);
    EXPECT_TRUE (script->gets().empty());
    expectLog ({ "sendEndOfTransmission()", "sendEndOfTransmission()" });
}

TEST_F (TransmissionTest, WithoutADeviceEveryExchangeGives7)
{
    HIDTransmission none (nullptr);
    ulktest::LogCapture noneLog;

    ASIOCaps caps;
    std::memset (&caps, 0x11, sizeof (caps));
    EXPECT_EQ (none.getASIOCaps (&caps), 7);
    EXPECT_EQ (caps.modelNumber, 0x11);
    EXPECT_EQ (none.sendVerUpSelect(), 7);
    EXPECT_EQ (none.sendEndOfTransmission(), 7);
    EXPECT_EQ (none.sendASIOSetting ({ 1, 2, 3, 4 }), 0);

    ASIOSetting setting{ 9, 9, 9, 9 };
    EXPECT_EQ (none.getASIOSetting (&setting), 7);
    EXPECT_EQ (setting.samplingFrequency, 9);

    VersionUpDataResult result{ 5, 5 };
    const uint8 block[29] = {};
    EXPECT_EQ (none.sendVersionUpData (HIDTransmission::End, block, 29, &result), 7);
    EXPECT_EQ (result.flag, 5);
    EXPECT_EQ (result.execTimeout, 5);

    int sent = 99;
    EXPECT_EQ (none.sendVerUpStartData (block, 29, &sent), 7);
    EXPECT_EQ (sent, 0);
    sent = 99;
    EXPECT_EQ (none.sendVerUpIntermediateData (block, 29, &sent), 7);
    EXPECT_EQ (sent, 0);
    sent = 99;
    EXPECT_EQ (none.sendVerUpEndData (block, 29, &sent), 7);
    EXPECT_EQ (sent, 0);
    EXPECT_EQ (none.sendVerUpExec (1000), 7);

#if QMHID_MAC_FLAVOUR
    uint8 buf[32] = {};
    EXPECT_EQ (none.sendOneway (block, 100), 7);
    EXPECT_EQ (none.getOneway (buf, 100), 7);
#endif

    if (ulktest::isMacFlavour())
    {
        const Lines expected{
            "getASIOCaps()",
            "Error - Poll ASIO caps failed (7)",
            "sendVerUpSelect()",
            "Error - Couldn't send handshake message",
            "Error - sendVerUpSelect() : (7)",
            "sendEndOfTransmission()",
            "sendVersionUpData()",
            "Error - Couldn't send handshake message",
            "SendVerUpStartData()",
            "Error - Couldn't send handshake message",
            "Error - Send version up start data (7)",
            "Error - Send version up intermediate data (7)",
            "Error - Couldn't send handshake message",
            "Error - Send version up end data (7)",
            "sendVerUpExec()",
            "Error - Couldn't send handshake message",
            "Error - sendVerUpExec() : (7)",
        };
        EXPECT_EQ (noneLog.newLines(), expected);
    }
}

TEST_F (TransmissionTest, FixedBlockOperations)
{
    Bytes data;
    for (int i = 0; i < 35; ++i)
        data.push_back ((uint8) (0x80 + i));

    int sent = -1;
    script->queueReply (nak);
    EXPECT_EQ (transmission.sendVerUpStartData (data.data(), 35, &sent), 3);
    EXPECT_EQ (sent, 0);

    script->queueReply (endAck (0x00, 0x05));
    EXPECT_EQ (transmission.sendVerUpEndData (data.data(), 12, &sent), 0);
    EXPECT_EQ (sent, 12);

    EXPECT_EQ (transmission.sendVerUpIntermediateData (data.data(), 35, &sent), 0);
    EXPECT_EQ (sent, 29);

    script->queueSendFailure (ioError);
    EXPECT_EQ (transmission.sendVerUpIntermediateData (data.data(), 35, &sent), ioError);
    EXPECT_EQ (sent, 0);

    script->queueReply (ack);
    EXPECT_EQ (transmission.sendVerUpStartData (data.data(), 20, &sent), 0);
    EXPECT_EQ (sent, 20);

    const auto sends = script->sends();
    ASSERT_EQ (sends.size(), 5u);
    Bytes end = request ({ 0xFF, 0xFE, 0x40 });
    std::copy_n (data.begin(), 12, end.begin() + 3);
    EXPECT_EQ (sends[1].bytes, end);
    Bytes middle = request ({ 0xFF, 0xFD, 0x40 });
    std::copy_n (data.begin(), 29, middle.begin() + 3);
    EXPECT_EQ (sends[2].bytes, middle);
    for (const auto& s : sends)
        EXPECT_EQ (s.timeoutMs, 100);
    EXPECT_EQ (getTimeouts(), (std::vector<int>{ 100, 100, 100 }));

    expectLog ({
        "SendVerUpStartData()",
        "Error - Handshake responce is NAK",
        "Error - Send version up start data (3)",
        "ok - Version up end data",
        "Error - Send version up intermediate data (" + std::to_string (ioError) + ")",
        "SendVerUpStartData()",
        "ok - sendVerUpStartData()",
    });
}

TEST_F (TransmissionTest, AsioSettingReadAndSend)
{
    ASIOSetting setting{ 0, 0, 0, 0 };
    script->queueReply (makeReport ({ 0x00, 0x00, 0x21, 0, 0, 0, 0, 0, 3, 24, 0x01, 0x00, 2 }));
    EXPECT_EQ (transmission.getASIOSetting (&setting), 0);
    EXPECT_EQ (setting.samplingFrequency, 3);
    EXPECT_EQ (setting.audioBitResolution, 24);
    EXPECT_EQ (setting.audioBufferSize, 256);
    EXPECT_EQ (setting.operationMode, 2);

    script->queueReply (ack);
    EXPECT_EQ (transmission.getASIOSetting (&setting), 5);
    EXPECT_EQ (setting.samplingFrequency, 3);
    EXPECT_TRUE (script->sends().empty()); // reading sends nothing

    script->queueSendFailure (ioError);
    EXPECT_EQ (transmission.sendASIOSetting ({ 1, 2, 0x0304, 5 }), 0);
    ASSERT_EQ (script->sends().size(), 1u);
    EXPECT_EQ (script->sends()[0].bytes, request ({ 0xFF, 0xF0, 0x21, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5 }));
    EXPECT_EQ (script->sends()[0].timeoutMs, 100);
    EXPECT_EQ (getTimeouts(), (std::vector<int>{ 100, 100 }));
    expectLog ({});
}

#if QMHID_MAC_FLAVOUR
TEST_F (TransmissionTest, RawOperationsPassTheDevicesCode)
{
    const Report raw = makeReport ({ 1, 2, 3, 4 });
    script->queueReply (makeReport ({ 9, 8, 7 }));
    script->queueSendFailure (ioError);

    EXPECT_EQ (transmission.sendOneway (raw.data(), 250), ioError);
    uint8 buf[32] = {};
    EXPECT_EQ (transmission.getOneway (buf, 300), 0);
    EXPECT_EQ (buf[0], 9);
    EXPECT_EQ (transmission.getOneway (buf, 50), 4);
    EXPECT_EQ (buf[0], 9);

    ASSERT_EQ (script->sends().size(), 1u);
    EXPECT_EQ (script->sends()[0].bytes, Bytes (raw.begin(), raw.end()));
    EXPECT_EQ (script->sends()[0].timeoutMs, 250);
    EXPECT_EQ (getTimeouts(), (std::vector<int>{ 300, 50 }));
    expectLog ({});
}
#endif

TEST (TransmissionStatic, BlockSizeIs29WithoutAnyObject)
{
    EXPECT_EQ (HIDTransmission::getVersionUpDataSize(), 29);
}
