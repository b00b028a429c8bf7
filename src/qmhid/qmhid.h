#pragma once

// The HID protocol library: the 32-byte requests and reply views, the
// transmission sequences, the device interface the platform backends implement,
// and the library log.

#include "qmhid_ASIOCaps.h"
#include "qmhid_ASIOSetting.h"
#include "qmhid_ASIOSettingMessage.h"
#include "qmhid_DataFormat.h"
#include "qmhid_EndOfTransmissionMessage.h"
#include "qmhid_HIDDevice.h"
#include "qmhid_HIDDeviceIdentifier.h"
#include "qmhid_HIDTransmission.h"
#include "qmhid_Logger.h"
#include "qmhid_Message.h"
#include "qmhid_PollASIOCapsMessage.h"
#include "qmhid_ReceivedASIOCaps.h"
#include "qmhid_ReceivedASIOSetting.h"
#include "qmhid_ReceivedData.h"
#include "qmhid_Types.h"
#include "qmhid_VerUpDataMessageBase.h"
#include "qmhid_VerUpEndDataMessage.h"
#include "qmhid_VerUpExecMessage.h"
#include "qmhid_VerUpIntermediateDataMessage.h"
#include "qmhid_VerUpSelectMessage.h"
#include "qmhid_VerUpStartDataMessage.h"
#include "qmhid_VersionUpDataMessage.h"
#include "qmhid_VersionUpDataResult.h"
