// SetupAPI of the simulated platform: one HID interface per bus device in plug
// order, paths that name the port, the two-call detail pattern with its size
// checks, snapshots, the flags that change what a set holds, and its faults.

#include "StandInTest.h"

#include <algorithm>
#include <cstddef>

using namespace wintest;
using namespace simtest;

namespace
{
const GUID& hidGuid()
{
    static const GUID guid = []
    {
        GUID g;
        HidD_GetHidGuid (&g);
        return g;
    }();
    return guid;
}

/** A device information set of the present HID interfaces, for one test. */
struct PresentSet
{
    PresentSet()
        : set (SetupDiGetClassDevsW (&hidGuid(), nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE))
    {
    }

    ~PresentSet()
    {
        if (set != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList (set);
    }

    SP_DEVICE_INTERFACE_DATA member (DWORD index) const
    {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof (data);
        EXPECT_TRUE (SetupDiEnumDeviceInterfaces (set, nullptr, &hidGuid(), index, &data));
        return data;
    }

    HDEVINFO set;
};

class SetupApi : public StandInTest
{
};

TEST_F (SetupApi, TheHidInterfaceClassIsTheWellKnownGuid)
{
    const GUID expected = { 0x4D1E55B2, 0xF16F, 0x11CF, { 0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30 } };
    EXPECT_TRUE (hidGuid() == expected);
}

TEST_F (SetupApi, ListsOneLowerCaseInterfacePerDeviceInPlugOrder)
{
    const auto first = plugEcho (controllerDescription (0x7A3C, 0x6102, 1));
    const auto second = plugEcho (controllerDescription (0x7A3C, 0x6109, 4));
    const auto keyboard = plugEcho (controllerDescription (0x1234, 0x0001, 2));

    EXPECT_EQ (interfacePaths(),
               (std::vector<std::wstring>{ simwin::interfacePathOf (first), simwin::interfacePathOf (second),
                                           simwin::interfacePathOf (keyboard) }));
    EXPECT_EQ (simwin::interfacePathOf (first),
               L"\\\\?\\hid#vid_7a3c&pid_6102#8&00000001&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    EXPECT_EQ (simwin::interfacePathOf (keyboard),
               L"\\\\?\\hid#vid_1234&pid_0001#8&00000002&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");

    PresentSet present;
    const auto data = present.member (1);
    EXPECT_TRUE (data.InterfaceClassGuid == hidGuid());
    EXPECT_EQ (data.Flags, (DWORD) SPINT_ACTIVE);

    SP_DEVICE_INTERFACE_DATA beyond{};
    beyond.cbSize = sizeof (beyond);
    SetLastError (0);
    EXPECT_FALSE (SetupDiEnumDeviceInterfaces (present.set, nullptr, &hidGuid(), 3, &beyond));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_NO_MORE_ITEMS);
}

TEST_F (SetupApi, APlugBackIntoTheSamePortGivesTheSamePath)
{
    const auto first = plugEcho (controllerDescription (0x7A3C, 0x6102, 3));
    const auto path = simwin::interfacePathOf (first);
    bus().unplug (first);

    const auto again = plugEcho (controllerDescription (0x7A3C, 0x6102, 3));
    const auto elsewhere = plugEcho (controllerDescription (0x7A3C, 0x6102, 5));
    EXPECT_NE (again, first);
    EXPECT_EQ (simwin::interfacePathOf (again), path);
    EXPECT_NE (simwin::interfacePathOf (elsewhere), path);
    EXPECT_EQ (simwin::interfacePathOf (first), path) << "the path of a device that went is still known";
}

TEST_F (SetupApi, ReplugsKeepOneRecordPerPathAndOldHandlesKeepFailing)
{
    // Ports no other test uses, so that no earlier record holds their paths.
    const auto staying = plugEcho (controllerDescription (0x7A3C, 0x6102, 41));
    const auto recordsBefore = simwin::deviceRecords();

    const auto first = plugEcho (controllerDescription (0x7A3C, 0x6102, 40));
    const auto path = simwin::interfacePathOf (first);
    HANDLE old = openInterface (first); // exclusive, as the backend opens
    ASSERT_NE (old, INVALID_HANDLE_VALUE);
    bus().unplug (first);

    sim::DeviceId latest = 0;
    for (int i = 0; i < 200; ++i)
    {
        latest = plugEcho (controllerDescription (0x7A3C, 0x6102, 40));
        bus().unplug (latest);
    }
    EXPECT_EQ (simwin::deviceRecords(), recordsBefore + 1) << "one for the path, not one per plug";
    const auto registered = interfacePaths (DIGCF_DEVICEINTERFACE);
    EXPECT_EQ (std::count (registered.begin(), registered.end(), path), 1)
        << "the interface that went stays registered, once";
    EXPECT_EQ (simwin::interfacePathOf (latest), path);

    // The handle on the first device still fails as on a device that went,
    // and holds nothing against the device that has its path now.
    const auto now = plugEcho (controllerDescription (0x7A3C, 0x6102, 40));
    EXPECT_EQ (simwin::deviceRecords(), recordsBefore + 1);
    Bytes buffer = report (0, 1);
    Overlapped o;
    HIDD_ATTRIBUTES attributes{};
    SetLastError (0);
    EXPECT_FALSE (ReadFile (old, buffer.data(), 33, nullptr, &o.ov));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_DEVICE_NOT_CONNECTED);
    SetLastError (0);
    EXPECT_FALSE (WriteFile (old, buffer.data(), 33, nullptr, &o.ov));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_DEVICE_NOT_CONNECTED);
    SetLastError (0);
    EXPECT_FALSE (HidD_GetAttributes (old, &attributes));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_DEVICE_NOT_CONNECTED);
    SetLastError (0);
    EXPECT_FALSE (HidD_FlushQueue (old));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_DEVICE_NOT_CONNECTED);

    HANDLE fresh = openInterface (now);
    ASSERT_NE (fresh, INVALID_HANDLE_VALUE) << "the old exclusive handle shares nothing with the new device";
    EXPECT_TRUE (HidD_GetAttributes (fresh, &attributes));
    EXPECT_TRUE (CloseHandle (old));
    SetLastError (0);
    EXPECT_EQ (openInterface (now), INVALID_HANDLE_VALUE)
        << "closing the old handle freed nothing of the new";
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_SHARING_VIOLATION);
    EXPECT_TRUE (CloseHandle (fresh));

    bus().unplug (now);
    bus().unplug (staying);
    EXPECT_EQ (simwin::interfacePathOf (latest), path) << "the path of a device whose record went is known";
}

TEST_F (SetupApi, TheDetailComesByTheTwoCallPattern)
{
    plugEcho();
    const auto path = simwin::interfacePathOf (bus().devices().front());
    const DWORD required = (DWORD) (offsetof (SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                    (path.size() + 1) * sizeof (WCHAR));
    EXPECT_EQ (sizeof (SP_DEVICE_INTERFACE_DETAIL_DATA_W), 8u) << "the cbSize of a 64-bit program";

    PresentSet present;
    auto data = present.member (0);

    DWORD reported = 0;
    SetLastError (0);
    EXPECT_FALSE (SetupDiGetDeviceInterfaceDetailW (present.set, &data, nullptr, 0, &reported, nullptr));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ (reported, required);

    std::vector<unsigned char> block (required + 16, 0xAA);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*> (block.data());

    struct Case
    {
        const char* what;
        bool withBlock;
        DWORD cbSize;
        DWORD size;
        DWORD error; ///< 0: success
    };
    const Case cases[] = {
        { "no block but a size", false, 0, required, ERROR_INVALID_USER_BUFFER },
        { "the cbSize of a 32-bit program", true, 6, required, ERROR_INVALID_USER_BUFFER },
        { "the whole block's size as cbSize", true, required, required, ERROR_INVALID_USER_BUFFER },
        { "a block one byte short", true, sizeof (SP_DEVICE_INTERFACE_DETAIL_DATA_W), required - 1,
          ERROR_INSUFFICIENT_BUFFER },
        { "a block smaller than the fixed part", true, sizeof (SP_DEVICE_INTERFACE_DETAIL_DATA_W), 4,
          ERROR_INVALID_USER_BUFFER },
        { "the size asked for", true, sizeof (SP_DEVICE_INTERFACE_DETAIL_DATA_W), required, 0 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        detail->cbSize = c.cbSize;
        SetLastError (0);
        const BOOL ok = SetupDiGetDeviceInterfaceDetailW (present.set, &data, c.withBlock ? detail : nullptr,
                                                          c.size, nullptr, nullptr);
        EXPECT_EQ (ok != FALSE, c.error == 0);
        EXPECT_EQ (GetLastError(), c.error);
        if (ok)
        {
            EXPECT_EQ (std::wstring (detail->DevicePath), path);
            EXPECT_EQ (block[required], 0xAA) << "written beyond the path";
        }
    }
}

TEST_F (SetupApi, ASetIsASnapshot)
{
    const auto staying = plugEcho();
    const auto going = plugEcho();
    PresentSet present;
    const auto goingPath = simwin::interfacePathOf (going);
    bus().unplug (going);

    // The set still names the interface that went, which then no longer opens.
    auto data = present.member (1);
    std::vector<unsigned char> block (512);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*> (block.data());
    detail->cbSize = sizeof (SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    ASSERT_TRUE (SetupDiGetDeviceInterfaceDetailW (present.set, &data, detail, (DWORD) block.size(), nullptr,
                                                   nullptr));
    EXPECT_EQ (std::wstring (detail->DevicePath), goingPath);
    SetLastError (0);
    EXPECT_EQ (CreateFileW (detail->DevicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr),
               INVALID_HANDLE_VALUE);
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_FILE_NOT_FOUND);

    plugEcho (controllerDescription (0x7A3C, 0x6102, 9));
    SP_DEVICE_INTERFACE_DATA third{};
    third.cbSize = sizeof (third);
    EXPECT_FALSE (SetupDiEnumDeviceInterfaces (present.set, nullptr, &hidGuid(), 2, &third))
        << "the device plugged in later is not in the set";
    EXPECT_EQ (interfacePaths().size(), 2u);
    EXPECT_EQ (interfacePaths().front(), simwin::interfacePathOf (staying));
}

TEST_F (SetupApi, TheFlagsDecideWhatASetHolds)
{
    // The interface of a device that went stays registered.
    const auto present = plugEcho (controllerDescription (0x7A3C, 0x6102, 7));
    const auto gone = plugEcho (controllerDescription (0x7A3C, 0x6102, 8));
    bus().unplug (gone);

    const auto all = interfacePaths (DIGCF_DEVICEINTERFACE);
    EXPECT_NE (std::find (all.begin(), all.end(), simwin::interfacePathOf (present)), all.end());
    EXPECT_NE (std::find (all.begin(), all.end(), simwin::interfacePathOf (gone)), all.end())
        << "without DIGCF_PRESENT the interface of a device that went is listed";
    EXPECT_EQ (interfacePaths (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
               std::vector<std::wstring>{ simwin::interfacePathOf (present) });
    EXPECT_TRUE (interfacePaths (DIGCF_PRESENT).empty())
        << "without DIGCF_DEVICEINTERFACE the GUID is a setup class";

    const GUID other = { 0x01234567, 0x89AB, 0xCDEF, { 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF } };
    HDEVINFO set = SetupDiGetClassDevsW (&other, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE (set, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof (data);
    EXPECT_FALSE (SetupDiEnumDeviceInterfaces (set, nullptr, &hidGuid(), 0, &data));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_NO_MORE_ITEMS);
    SetupDiDestroyDeviceInfoList (set);
}

TEST_F (SetupApi, MisusedSetsAndRecordsAreRefused)
{
    plugEcho();
    PresentSet one;
    PresentSet two;
    auto data = one.member (0);
    DWORD required = 0;

    SetLastError (0);
    EXPECT_FALSE (SetupDiGetDeviceInterfaceDetailW (two.set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_INVALID_PARAMETER) << "a member of another set";

    SP_DEVICE_INTERFACE_DATA wrongSize{};
    wrongSize.cbSize = 28;
    EXPECT_FALSE (SetupDiEnumDeviceInterfaces (one.set, nullptr, &hidGuid(), 0, &wrongSize));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_INVALID_USER_BUFFER) << "the cbSize of a 32-bit program";

    HDEVINFO set = SetupDiGetClassDevsW (&hidGuid(), nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_TRUE (SetupDiDestroyDeviceInfoList (set));
    SetLastError (0);
    EXPECT_FALSE (SetupDiDestroyDeviceInfoList (set));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_INVALID_HANDLE);
    expectInvalidHandleUses (1);
}

TEST_F (SetupApi, FaultsStrikeTheCallsTheyName)
{
    const auto first = plugEcho();
    const auto second = plugEcho();

    simwin::injectFault (simwin::Call::setupDiGetClassDevs, { 0, 1, 0, ERROR_INVALID_DATA });
    SetLastError (0);
    EXPECT_EQ (SetupDiGetClassDevsW (&hidGuid(), nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
               INVALID_HANDLE_VALUE);
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_INVALID_DATA);
    EXPECT_EQ (interfacePaths().size(), 2u) << "the fault struck once";

    // The second detail call for the first device fails: its size query works.
    simwin::injectFault (simwin::Call::setupDiGetDeviceInterfaceDetail, { 1, 1, first, 0 });
    EXPECT_EQ (interfacePaths(), std::vector<std::wstring>{ simwin::interfacePathOf (second) });
    EXPECT_EQ (interfacePaths().size(), 2u);

    // The size query fails and says nothing of the size.
    simwin::injectFault (simwin::Call::setupDiGetDeviceInterfaceDetail, { 0, 1, second, 0 });
    PresentSet present;
    auto data = present.member (1);
    DWORD required = 12345;
    SetLastError (0);
    EXPECT_FALSE (SetupDiGetDeviceInterfaceDetailW (present.set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ (required, 12345u);
}
} // namespace
