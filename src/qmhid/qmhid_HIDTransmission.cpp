#include "qmhid_HIDTransmission.h"

#include "qmhid_ASIOSettingMessage.h"
#include "qmhid_DataFormat.h"
#include "qmhid_EndOfTransmissionMessage.h"
#include "qmhid_HIDDevice.h"
#include "qmhid_Logger.h"
#include "qmhid_PollASIOCapsMessage.h"
#include "qmhid_ReceivedASIOCaps.h"
#include "qmhid_ReceivedASIOSetting.h"
#include "qmhid_VerUpEndDataMessage.h"
#include "qmhid_VerUpExecMessage.h"
#include "qmhid_VerUpIntermediateDataMessage.h"
#include "qmhid_VerUpSelectMessage.h"
#include "qmhid_VerUpStartDataMessage.h"
#include "qmhid_VersionUpDataMessage.h"

namespace qmhid
{
namespace
{
constexpr int requestTimeoutMs = 100;
constexpr int replyTimeoutMs = 100;
constexpr int capsReplyTimeoutMs = 1000;
constexpr int startBlockExecTimeoutMs = 15000;
constexpr int msPerSecond = 1000;

Logger& log()
{
    return *Logger::Instance();
}
} // namespace

HIDTransmission::HIDTransmission (HIDDevice* deviceToUse)
    : device (deviceToUse)
{
}

HIDTransmission::~HIDTransmission() = default;

int HIDTransmission::sendToDevice (const uint8* report, int timeoutMs)
{
    if (device == nullptr)
        return resultNoDevice;
    return device->send (report, QMHID_DATA_SIZE, timeoutMs);
}

int HIDTransmission::getFromDevice (uint8* buf, int timeoutMs)
{
    if (device == nullptr)
        return resultNoDevice;
    return device->get (buf, QMHID_DATA_SIZE, timeoutMs);
}

int HIDTransmission::sendHandshake (const uint8* report, int timeoutMs)
{
    int code = sendToDevice (report, timeoutMs);
    if (code != 0)
    {
        log().output ("Error - Couldn't send handshake message");
        return code;
    }

    uint8 reply[QMHID_DATA_SIZE];
    code = getFromDevice (reply, timeoutMs);
    if (code != 0)
    {
        log().output ("Error - Couldn't get handshake responce (%d)", code);
        return code;
    }

    if (DataFormat::isAck (reply))
        return resultOk;

    if (DataFormat::isNak (reply))
    {
        log().output ("Error - Handshake responce is NAK");
        return resultNak;
    }

    log().output ("Error - Handshake responce is not ACK");
    return resultUnexpectedReply;
}

int HIDTransmission::getASIOCaps (ASIOCaps* caps)
{
    PollASIOCapsMessage request;
    log().output ("getASIOCaps()");

    int code = sendToDevice (request.getDataPointer(), requestTimeoutMs);
    if (code != 0)
    {
        log().output ("Error - Poll ASIO caps failed (%d)", code);
        return code;
    }

    uint8 reply[QMHID_DATA_SIZE];
    code = getFromDevice (reply, capsReplyTimeoutMs);
    if (code != 0)
    {
        log().output ("Error - Couldn't get poll asio caps responce (%d)", code);
        return code;
    }

    if (!DataFormat::isAsioCaps (reply))
    {
        log().output ("Error - Got poll asio caps responce but not ASIO caps message");
        return resultUnexpectedReply;
    }

    for (int i = 0; i < QMHID_DATA_SIZE; ++i)
        log().output ("Asio caps data[%d] : %d", i, (int) reply[i]);

    ReceivedASIOCaps view (reply);
    view.getASIOCaps (caps);
    log().output ("ok - getASIOCaps()");
    return resultOk;
}

int HIDTransmission::getASIOSetting (ASIOSetting* setting)
{
    uint8 reply[QMHID_DATA_SIZE];
    const int code = getFromDevice (reply, replyTimeoutMs);
    if (code != 0)
        return code;

    if (!DataFormat::isAsioSetting (reply))
        return resultUnexpectedReply;

    ReceivedASIOSetting view (reply);
    setting->samplingFrequency = view.getSamplingFreq();
    setting->audioBitResolution = view.getAudioBitResolution();
    setting->audioBufferSize = view.getAudioBufferSize();
    setting->operationMode = view.getOperationMode();
    return resultOk;
}

int HIDTransmission::sendASIOSetting (const ASIOSetting& setting)
{
    ASIOSettingMessage request;
    request.setASIOSetting (setting);

    // The request is one-way and its outcome is not reported.
    if (device != nullptr)
        device->send (request.getDataPointer(), QMHID_DATA_SIZE, requestTimeoutMs);

    return resultOk;
}

int HIDTransmission::sendVerUpSelect()
{
    log().output ("sendVerUpSelect()");
    VerUpSelectMessage request;

    const int code = sendHandshake (request.getDataPointer(), requestTimeoutMs);
    if (code != 0)
        log().output ("Error - sendVerUpSelect() : (%d)", code);
    else
        log().output ("ok - sendVerUpSelect()");
    return code;
}

int HIDTransmission::sendVersionUpData (VersionUpDataType type, const uint8* data, int len,
                                        VersionUpDataResult* result)
{
    log().output ("sendVersionUpData()");

    const auto blockType =
        type == Start ? VersionUpDataMessage::Start
                      : (type == End ? VersionUpDataMessage::End : VersionUpDataMessage::Intermediate);
    VersionUpDataMessage request (blockType, data, len);

    int code = sendToDevice (request.getDataPointer(), requestTimeoutMs);
    if (code != 0)
    {
        log().output ("Error - Couldn't send handshake message");
        return code;
    }

    if (blockType == VersionUpDataMessage::Intermediate)
    {
        result->flag = 0;
        log().output ("ok - sendVersionUpData()");
        return resultOk;
    }

    uint8 reply[QMHID_DATA_SIZE];
    code = getFromDevice (reply, replyTimeoutMs);
    if (code != 0)
    {
        log().output ("Error - Couldn't get handshake responce (%d)", code);
        return code;
    }

    if (DataFormat::isAck (reply))
    {
        // The acknowledgement of the last block carries the execution time-out
        // in seconds.
        if (blockType == VersionUpDataMessage::End)
            result->execTimeout = (int32) DataFormat::makeUInt16 (reply[3], reply[4]) * msPerSecond;
        else
            result->execTimeout = startBlockExecTimeoutMs;

        result->flag = 0;
        log().output ("ok - sendVersionUpData()");
        return resultOk;
    }

    if (DataFormat::isNak (reply))
    {
        log().output ("Error - Handshake responce is NAK");
        return resultNak;
    }

    log().output ("Error - Handshake responce is not ACK");
    return resultUnexpectedReply;
}

int HIDTransmission::sendVerUpStartData (const uint8* data, int len, int* sent)
{
    log().output ("SendVerUpStartData()");
    VerUpStartDataMessage request;
    const int n = request.setData (data, len);

    const int code = sendHandshake (request.getDataPointer(), requestTimeoutMs);
    if (code != 0)
    {
        *sent = 0;
        log().output ("Error - Send version up start data (%d)", code);
    }
    else
    {
        *sent = n;
        log().output ("ok - sendVerUpStartData()");
    }
    return code;
}

int HIDTransmission::sendVerUpIntermediateData (const uint8* data, int len, int* sent)
{
    VerUpIntermediateDataMessage request;
    const int n = request.setData (data, len);

    const int code = sendToDevice (request.getDataPointer(), requestTimeoutMs);
    if (code != 0)
    {
        *sent = 0;
        log().output ("Error - Send version up intermediate data (%d)", code);
        return code;
    }

    *sent = n;
    return resultOk;
}

int HIDTransmission::sendVerUpEndData (const uint8* data, int len, int* sent)
{
    VerUpEndDataMessage request;
    const int n = request.setData (data, len);

    const int code = sendHandshake (request.getDataPointer(), requestTimeoutMs);
    if (code != 0)
    {
        *sent = 0;
        log().output ("Error - Send version up end data (%d)", code);
    }
    else
    {
        *sent = n;
        log().output ("ok - Version up end data");
    }
    return code;
}

int HIDTransmission::sendVerUpExec (int timeoutMs)
{
    log().output ("sendVerUpExec()");
    VerUpExecMessage request;

    const int code = sendHandshake (request.getDataPointer(), timeoutMs);
    if (code != 0)
        log().output ("Error - sendVerUpExec() : (%d)", code);
    else
        log().output ("ok - sendVerUpExec()");
    return code;
}

int HIDTransmission::sendEndOfTransmission()
{
    log().output ("sendEndOfTransmission()");
    EndOfTransmissionMessage request;
    return sendToDevice (request.getDataPointer(), requestTimeoutMs);
}

#if QMHID_MAC_FLAVOUR
int HIDTransmission::sendOneway (const uint8* report, int timeoutMs)
{
    return sendToDevice (report, timeoutMs);
}

int HIDTransmission::getOneway (uint8* buf, int timeoutMs)
{
    return getFromDevice (buf, timeoutMs);
}
#endif

int HIDTransmission::getVersionUpDataSize()
{
    return VersionUpDataMessage::getMaxDataSize();
}
} // namespace qmhid
