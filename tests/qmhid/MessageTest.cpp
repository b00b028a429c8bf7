// Request reports, header setters, data blocks and the reply classifiers.

#include <qmhid.h>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <vector>

using namespace qmhid;

namespace
{
using Bytes = std::vector<uint8>;

Bytes bytesOf (Message& message)
{
    return Bytes (message.getDataPointer(), message.getDataPointer() + QMHID_DATA_SIZE);
}

Bytes report (std::initializer_list<uint8> leading)
{
    Bytes bytes (QMHID_DATA_SIZE, 0);
    std::copy (leading.begin(), leading.end(), bytes.begin());
    return bytes;
}

Bytes sequence (uint8 first, int count)
{
    Bytes bytes;
    for (int i = 0; i < count; ++i)
        bytes.push_back ((uint8) (first + i));
    return bytes;
}
} // namespace

TEST (Requests, FreshRequestsCarryTheirHeaderAndZeroPayload)
{
    struct Case
    {
        const char* name;
        std::function<std::unique_ptr<Message>()> make;
        Bytes expected;
    };

    Bytes asioSetting = report ({ 0xFF, 0xF0, 0x21 });
    for (int i = 8; i <= 12; ++i)
        asioSetting[(size_t) i] = 0xFF;

    const Case cases[] = {
        { "poll", [] { return std::make_unique<PollASIOCapsMessage>(); }, report ({ 0xFF, 0xF1, 0x21 }) },
        { "select", [] { return std::make_unique<VerUpSelectMessage>(); }, report ({ 0xFF, 0xF8, 0x40 }) },
        { "exec", [] { return std::make_unique<VerUpExecMessage>(); }, report ({ 0xFF, 0xF8, 0x22 }) },
        { "eot", [] { return std::make_unique<EndOfTransmissionMessage>(); }, report ({ 0xFF, 0xFB, 0x04 }) },
        { "start", [] { return std::make_unique<VerUpStartDataMessage>(); }, report ({ 0xFF, 0xFC, 0x40 }) },
        { "middle", [] { return std::make_unique<VerUpIntermediateDataMessage>(); },
          report ({ 0xFF, 0xFD, 0x40 }) },
        { "end", [] { return std::make_unique<VerUpEndDataMessage>(); }, report ({ 0xFF, 0xFE, 0x40 }) },
        { "setting", [] { return std::make_unique<ASIOSettingMessage>(); }, asioSetting },
    };

    for (const auto& c : cases)
    {
        auto message = c.make();
        EXPECT_EQ (bytesOf (*message), c.expected) << c.name;
    }
}

TEST (Requests, HeaderSettersChangeOnlyTheirOwnBits)
{
    struct Case
    {
        uint8 byte1Before;
        std::function<void (Message&)> apply;
        uint8 byte1After;
    };

    const Case cases[] = {
        { 0x07, [] (Message& m) { m.setCommunicationType (1); }, 0x0F },
        { 0xFF, [] (Message& m) { m.setCommunicationType (0); }, 0xF7 },
        { 0x0B, [] (Message& m) { m.setUnitNumber (15); }, 0xFB },
        { 0xFB, [] (Message& m) { m.setUnitNumber (0x12); }, 0x2B }, // only the low four bits count
        { 0xF8, [] (Message& m) { m.setMessageType (3); }, 0xFB },
        { 0xFF, [] (Message& m) { m.setMessageType (0); }, 0xF8 },
    };

    for (const auto& c : cases)
    {
        Message message;
        message.getDataPointer()[1] = c.byte1Before;
        c.apply (message);
        Bytes expected = report ({ 0x00, c.byte1After });
        EXPECT_EQ (bytesOf (message), expected) << "byte 1 was " << (int) c.byte1Before;
    }
}

TEST (Requests, SetHeaderGoesThroughTheVirtualSetters)
{
    struct Recording : Message
    {
        std::vector<int> calls;
        void setModelNumber (uint8 v) override { calls.push_back (0), Message::setModelNumber (v); }
        void setUnitNumber (uint8 v) override { calls.push_back (1), Message::setUnitNumber (v); }
        void setCommunicationType (uint8 v) override
        {
            calls.push_back (2), Message::setCommunicationType (v);
        }
        void setMessageType (uint8 v) override { calls.push_back (3), Message::setMessageType (v); }
        void setCommand (uint8 v) override { calls.push_back (4), Message::setCommand (v); }
    } message;

    message.getDataPointer()[5] = 0xAA;
    message.setHeader (0x12, 3, 1, 6, 0x40);

    EXPECT_EQ (message.calls, (std::vector<int>{ 0, 1, 2, 3, 4 }));
    EXPECT_EQ (bytesOf (message), report ({ 0x12, 0x3E, 0x40, 0x00, 0x00, 0xAA }));
}

TEST (Requests, AsioSettingFieldsLandInBytes8To12)
{
    ASIOSettingMessage message;
    message.setAudioBufferSize (0x0100);
    EXPECT_EQ (message.getDataPointer()[10], 0x01);
    EXPECT_EQ (message.getDataPointer()[11], 0x00);

    message.setASIOSetting ({ 1, 2, 0x0304, 5 });
    Bytes expected = report ({ 0xFF, 0xF0, 0x21, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5 });
    EXPECT_EQ (bytesOf (message), expected);

    message.setAudioBufferSize (0xFFFF);
    EXPECT_EQ (message.getDataPointer()[10], 0xFF);
    EXPECT_EQ (message.getDataPointer()[11], 0xFF);
}

TEST (Requests, SetAsioSettingCallsTheSettersInItsOwnOrder)
{
    struct Recording : ASIOSettingMessage
    {
        std::vector<int> calls;
        void setSamplingFreqency (uint8 v) override
        {
            calls.push_back (0), ASIOSettingMessage::setSamplingFreqency (v);
        }
        void setAudioBitResolution (uint8 v) override
        {
            calls.push_back (1), ASIOSettingMessage::setAudioBitResolution (v);
        }
        void setAudioBufferSize (uint16 v) override
        {
            calls.push_back (2), ASIOSettingMessage::setAudioBufferSize (v);
        }
        void setOperationMode (uint8 v) override
        {
            calls.push_back (3), ASIOSettingMessage::setOperationMode (v);
        }
    } message;

    message.setASIOSetting ({ 1, 2, 3, 4 });
    EXPECT_EQ (message.calls, (std::vector<int>{ 1, 0, 2, 3 }));
}

TEST (DataBlocks, SetDataCopiesAtMost29BytesAndLeavesTheRest)
{
    const Bytes source = sequence (0x10, 40);

    struct Case
    {
        int len;
        int expectedCount;
    };

    for (const auto& c : { Case{ 40, 29 }, Case{ 29, 29 }, Case{ 10, 10 }, Case{ 0, 0 } })
    {
        VerUpStartDataMessage message;
        EXPECT_EQ (message.setData (source.data(), c.len), c.expectedCount) << "len " << c.len;

        Bytes expected = report ({ 0xFF, 0xFC, 0x40 });
        std::copy_n (source.begin(), c.expectedCount, expected.begin() + 3);
        EXPECT_EQ (bytesOf (message), expected) << "len " << c.len;
    }
}

TEST (DataBlocks, SetDataKeepsBytesOfAnEarlierLongerBlock)
{
    VerUpEndDataMessage message;
    const Bytes first (29, 0xAA);
    const Bytes second (4, 0x55);
    message.setData (first.data(), 29);
    message.setData (second.data(), 4);

    Bytes expected = report ({ 0xFF, 0xFE, 0x40, 0x55, 0x55, 0x55, 0x55 });
    std::fill (expected.begin() + 7, expected.end(), 0xAA);
    EXPECT_EQ (bytesOf (message), expected);
}

TEST (DataBlocks, VersionUpDataMessageTypeAndPayload)
{
    const Bytes source = sequence (1, 40);

    struct Case
    {
        int type;
        int len;
        uint8 byte1;
    };

    const Case cases[] = {
        { 0, 5, 0xFC }, { 2, 29, 0xFE }, { 1, 40, 0xFD }, { 3, 29, 0xFD }, { -1, 3, 0xFD }, { 7, 0, 0xFD },
    };

    for (const auto& c : cases)
    {
        VersionUpDataMessage message ((VersionUpDataMessage::DataType) c.type, source.data(), c.len);
        Bytes expected = report ({ 0xFF, c.byte1, 0x40 });
        std::copy_n (source.begin(), std::min (c.len, 29), expected.begin() + 3);
        EXPECT_EQ (bytesOf (message), expected) << "type " << c.type << " len " << c.len;
    }

    EXPECT_EQ (VersionUpDataMessage::getMaxDataSize(), 29);
}

TEST (DataFormatTest, HeaderGettersAndNumbers)
{
    const Bytes r = report ({ 0x12, 0xAD, 0x21 });
    EXPECT_EQ (DataFormat::getModelNumber (r.data()), 0x12);
    EXPECT_EQ (DataFormat::getUnitNumber (r.data()), 0x0A);
    EXPECT_EQ (DataFormat::getCommunicationType (r.data()), 1);
    EXPECT_EQ (DataFormat::getMessageType (r.data()), 5);
    EXPECT_EQ (DataFormat::getCommand (r.data()), 0x21);

    EXPECT_EQ (DataFormat::makeUInt16 (0x12, 0x34), 0x1234);
    EXPECT_EQ (DataFormat::makeUInt16 (0xFF, 0xFF), 0xFFFF);
    EXPECT_TRUE (DataFormat::isNoChange ((uint8) 0xFF));
    EXPECT_FALSE (DataFormat::isNoChange ((uint8) 0xFE));
    EXPECT_TRUE (DataFormat::isNoChange ((uint16) 0xFFFF));
    EXPECT_FALSE (DataFormat::isNoChange ((uint16) 0x00FF));
}

TEST (DataFormatTest, RepliesAreToldApartByKindAlone)
{
    struct Case
    {
        std::array<uint8, 3> header;
        bool ack, nak, caps, setting;
    };

    const Case cases[] = {
        { { 0x00, 0x0B, 0x06 }, true, false, false, false },
        { { 0xFF, 0xFB, 0x06 }, true, false, false, false },
        { { 0x12, 0x8B, 0x06 }, true, false, false, false },
        { { 0xFF, 0xF3, 0x06 }, false, false, false, false }, // communication type 0
        { { 0xFF, 0xFC, 0x06 }, false, false, false, false }, // message type 4
        { { 0xFF, 0xFB, 0x15 }, false, true, false, false },
        { { 0x00, 0x03, 0x15 }, false, false, false, false },
        { { 0x00, 0x04, 0x21 }, false, false, true, false },
        { { 0xFF, 0xF4, 0x21 }, false, false, true, false },
        { { 0x00, 0x0C, 0x21 }, false, false, false, false },
        { { 0x00, 0x00, 0x21 }, false, false, false, true },
        { { 0x00, 0x01, 0x21 }, false, false, false, false },
        { { 0x00, 0x04, 0x22 }, false, false, false, false },
    };

    for (const auto& c : cases)
    {
        Bytes r = report ({ c.header[0], c.header[1], c.header[2] });
        std::fill (r.begin() + 3, r.end(), 0x5A); // the payload never matters
        SCOPED_TRACE (testing::Message() << std::hex << (int) c.header[0] << " " << (int) c.header[1] << " "
                                         << (int) c.header[2]);
        EXPECT_EQ (DataFormat::isAck (r.data()), c.ack);
        EXPECT_EQ (DataFormat::isNak (r.data()), c.nak);
        EXPECT_EQ (DataFormat::isAsioCaps (r.data()), c.caps);
        EXPECT_EQ (DataFormat::isAsioSetting (r.data()), c.setting);
    }
}
