// The reply classifiers and views on any 32 bytes, and every request and
// reply sequence of the transmission against a scripted controller that
// answers with the fuzzer's reports, result codes and silences.  A caps reply
// that gets through is shown in the controller panel.

#include "FuzzSupport.h"
#include "ScriptedAnswers.h"

#include <DeviceInfoComponent.h>
#include <InfoPanelLabels.h>
#include <ScriptedDevice.h>
#include <UlkDevice.h>

#include <qmhid_DataFormat.h>
#include <qmhid_HIDTransmission.h>
#include <qmhid_ReceivedASIOCaps.h>
#include <qmhid_ReceivedASIOSetting.h>
#include <qmhid_ReceivedData.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
using fuzz::check;

using namespace qmhid;

void viewReply (testbackend::Report report)
{
    uint8* r = report.data();
    const bool caps = DataFormat::isAsioCaps (r);
    const bool setting = DataFormat::isAsioSetting (r);
    const bool ack = DataFormat::isAck (r);
    const bool nak = DataFormat::isNak (r);
    check ((int) caps + (int) setting + (int) ack + (int) nak <= 1, "a reply of two kinds");

    ReceivedData header (r);
    check (header.getUnitNumber() == (r[1] >> 4), "unit number");
    check (header.getCommunicationType() <= 1 && header.getMessageType() <= 7, "header fields");

    if (setting)
    {
        ReceivedASIOSetting view (r);
        check (view.getAudioBufferSize() == r[10] * 256 + r[11], "setting buffer size");
    }
    if (!caps)
        return;

    ReceivedASIOCaps view (r);
    const int length = view.getModelName (nullptr, 0);
    check (length >= 0 && length <= 16 && length == (int) strnlen ((const char*) r + 16, 16),
           "model name length");
    // Each length writes the copied characters and the last byte, nothing else.
    for (int len = 1; len <= 18; ++len)
    {
        char dst[24];
        std::memset (dst, 0x5A, sizeof (dst));
        check (view.getModelName (dst, len) == 0, "model name copy result");
        const int copied = std::min (length, std::min (len - 1, 16));
        check (std::memcmp (dst, r + 16, (size_t) copied) == 0 && dst[len - 1] == 0, "model name copy");
        for (int i = copied; i < (int) sizeof (dst); ++i)
            check (i == len - 1 || dst[i] == 0x5A, "model name copy wrote past its text");
    }

    UlkDeviceInfo info{};
    view.getASIOCaps (&info);
    check (info.modelName[16] == 0, "caps model name is not terminated");
    static auto& panel = *new DeviceInfoComponent();
    panel.setDeviceInfo (info);
    check (infopanel::modelNameText (info.modelName).length() == length, "panel text length");
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    fuzz::initialiseJuce();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input (data, size);
    const std::uint8_t operations = input.byte();
    const std::uint16_t blockBytes = input.u16();

    // Not make_shared: the test backend keeps a weak reference to every scripted
    // device it opened, which would keep the whole object's memory.
    std::shared_ptr<testbackend::ScriptedDevice> script (new testbackend::ScriptedDevice());
    fuzz::queueAnswers (*script, input, viewReply);

    HIDDevice* device = testbackend::openScriptedDevice (script, 0x7A3C, 0x6102);
    check (device != nullptr, "scripted device did not open");
    {
        HIDTransmission transmission (device);
        uint8 block[64];
        const int len = 1 + blockBytes % HIDTransmission::getVersionUpDataSize();
        std::memset (block, 0xA5, sizeof (block));
        // Each bit picks one sequence, in a fixed order, until the script runs dry.
        for (int round = 0; round < 2; ++round)
        {
            ASIOCaps caps{};
            if ((operations & 1) != 0 && transmission.getASIOCaps (&caps) == 0)
                check (caps.modelName[16] == 0, "polled model name is not terminated");
            ASIOSetting setting{};
            if ((operations & 2) != 0)
                transmission.getASIOSetting (&setting);
            if ((operations & 4) != 0)
                transmission.sendASIOSetting (setting);
            if ((operations & 8) != 0)
                transmission.sendVerUpSelect();
            VersionUpDataResult result{};
            if ((operations & 16) != 0)
                transmission.sendVersionUpData (HIDTransmission::Start, block, len, &result);
            if ((operations & 32) != 0)
                transmission.sendVersionUpData (HIDTransmission::Intermediate, block, len, &result);
            if ((operations & 64) != 0)
                transmission.sendVersionUpData (HIDTransmission::End, block, len, &result);
            if ((operations & 128) != 0)
                transmission.sendVerUpExec (0);
            transmission.sendEndOfTransmission();
        }
    }
    device->release();
    return 0;
}
