// File handles on HID interfaces: opening and sharing, HID.DLL's attributes
// and capabilities, the report ID byte both ways, each handle's ring of input
// reports, overlapped completion, cancelling, removal, and the fault knobs of
// these calls.

#include "StandInTest.h"

#include <hidpi.h>

#include <chrono>
#include <cstring>
#include <cwctype>
#include <functional>
#include <thread>

using namespace wintest;
using namespace simtest;

namespace
{
constexpr DWORD readWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD shared = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG_PTR statusCancelled = 0xC0000120;

/** Closes a handle when the scope ends. */
struct ScopedHandle
{
    explicit ScopedHandle (HANDLE h)
        : handle (h)
    {
    }

    ~ScopedHandle()
    {
        if (handle != INVALID_HANDLE_VALUE && handle != nullptr)
            CloseHandle (handle);
    }

    HANDLE handle;
};

/** Waits (bounded) until the stand-in holds this many transfers. */
bool waitForPendingTransfers (std::size_t count)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (generousMs);
    while (simwin::pendingTransfers() != count)
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }
    return true;
}

/** Starts a read that must stay pending. */
void startPendingRead (HANDLE file, Bytes& buffer, OVERLAPPED& ov)
{
    SetLastError (0);
    EXPECT_FALSE (ReadFile (file, buffer.data(), (DWORD) buffer.size(), nullptr, &ov));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_IO_PENDING);
}

/** Starts a write that must stay pending, for now at least. */
void startPendingWrite (HANDLE file, const Bytes& out, OVERLAPPED& ov)
{
    SetLastError (0);
    EXPECT_FALSE (WriteFile (file, out.data(), (DWORD) out.size(), nullptr, &ov));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_IO_PENDING);
}

/** Writes one report and waits for the write to end; 0 or its error code. */
DWORD writeAndWait (HANDLE file, const Bytes& out, OVERLAPPED& ov)
{
    SetLastError (0);
    if (WriteFile (file, out.data(), (DWORD) out.size(), nullptr, &ov))
        return 0;
    if (GetLastError() != ERROR_IO_PENDING)
        return GetLastError();
    DWORD count = 0;
    return GetOverlappedResult (file, &ov, &count, TRUE) ? 0 : GetLastError();
}

/** Ends a pending transfer the way the backend must: cancel, then wait. */
DWORD cancelAndWait (HANDLE file, OVERLAPPED& ov)
{
    CancelIoEx (file, &ov);
    DWORD count = 0;
    SetLastError (0);
    return GetOverlappedResult (file, &ov, &count, TRUE) ? 0 : GetLastError();
}

class HidFile : public StandInTest
{
};

class HidReports : public StandInTest
{
};

class OverlappedIo : public StandInTest
{
};

class HidFaults : public StandInTest
{
};

//==============================================================================
TEST_F (HidFile, SharingFollowsTheShareModesOfTheOpenHandles)
{
    const auto device = plugEcho();
    struct Case
    {
        const char* what;
        DWORD firstShare, firstAccess, secondShare, secondAccess;
        bool secondOpens;
    };
    const Case cases[] = {
        { "exclusive, then shared", 0, readWrite, shared, readWrite, false },
        { "exclusive, then exclusive", 0, readWrite, 0, readWrite, false },
        { "shared, then exclusive", shared, readWrite, 0, readWrite, false },
        { "shared, then shared", shared, readWrite, shared, readWrite, true },
        { "sharing reading only, then a writer", FILE_SHARE_READ, readWrite, shared, readWrite, false },
        { "a writer, then a reader that shares no writing", shared, readWrite, FILE_SHARE_READ, GENERIC_READ,
          false },
        { "a reader, then a writer, both sharing", shared, GENERIC_READ, shared, GENERIC_WRITE, true },
        { "exclusive, then no access at all", 0, readWrite, 0, 0, true },
        { "no access at all, then exclusive", 0, 0, 0, readWrite, true },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        ScopedHandle first (openInterface (device, c.firstShare, c.firstAccess));
        ASSERT_NE (first.handle, INVALID_HANDLE_VALUE);
        SetLastError (0);
        ScopedHandle second (openInterface (device, c.secondShare, c.secondAccess));
        EXPECT_EQ (second.handle != INVALID_HANDLE_VALUE, c.secondOpens);
        if (!c.secondOpens)
        {
            EXPECT_EQ (GetLastError(), (DWORD) ERROR_SHARING_VIOLATION);
        }
    }

    ScopedHandle again (openInterface (device, 0));
    EXPECT_NE (again.handle, INVALID_HANDLE_VALUE) << "closed handles hold nothing";
}

TEST_F (HidFile, OpensFailAsOnWindows)
{
    const auto device = plugEcho();
    auto refusingDescription = controllerDescription (0x1234, 0x0001);
    refusingDescription.canOpen = false;
    const auto keyboard = plugEcho (refusingDescription);
    const auto gone = plugEcho();
    bus().unplug (gone);

    auto upper = simwin::interfacePathOf (device);
    for (auto& c : upper)
        c = (wchar_t) std::towupper (c);
    auto dotForm = simwin::interfacePathOf (device);
    dotForm[2] = L'.';

    struct Case
    {
        const char* what;
        std::wstring path;
        DWORD access;
        DWORD disposition;
        DWORD error; ///< 0: it opens
    };
    const Case cases[] = {
        { "the path in another case", upper, readWrite, OPEN_EXISTING, 0 },
        { "the \\\\.\\ form of the path", dotForm, readWrite, OPEN_EXISTING, 0 },
        { "a device that refuses opens", simwin::interfacePathOf (keyboard), readWrite, OPEN_EXISTING,
          ERROR_ACCESS_DENIED },
        { "a device that refuses opens, asked for no access", simwin::interfacePathOf (keyboard), 0,
          OPEN_EXISTING, 0 },
        { "a device that went", simwin::interfacePathOf (gone), readWrite, OPEN_EXISTING,
          ERROR_FILE_NOT_FOUND },
        { "a path that names nothing", L"\\\\?\\hid#nothing", readWrite, OPEN_EXISTING,
          ERROR_FILE_NOT_FOUND },
        { "a disposition other than OPEN_EXISTING", simwin::interfacePathOf (device), readWrite,
          CREATE_ALWAYS, ERROR_INVALID_PARAMETER },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        SetLastError (0);
        ScopedHandle file (CreateFileW (c.path.c_str(), c.access, shared, nullptr, c.disposition,
                                        FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_EQ (file.handle != INVALID_HANDLE_VALUE, c.error == 0);
        EXPECT_EQ (GetLastError(), c.error);
    }
}

TEST_F (HidFile, AttributesAndCapabilitiesDescribeTheDevice)
{
    struct Case
    {
        const char* what;
        int inputBytes, outputBytes;
        USHORT inputLength, outputLength;
    };
    const Case cases[] = {
        { "a controller's 32-byte reports", 32, 32, 33, 33 },
        { "reports of other sizes", 64, 8, 65, 9 },
        { "no reports at all", 0, 0, 0, 0 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        auto description = controllerDescription (0x7A3C, 0x6109);
        description.inputReportBytes = c.inputBytes;
        description.outputReportBytes = c.outputBytes;
        const auto device = plugEcho (description);
        simwin::DeviceTraits traits;
        traits.versionNumber = 0x0213;
        simwin::setDeviceTraits (device, traits);

        // A handle without access is enough to ask.
        ScopedHandle file (openInterface (device, shared, 0));
        HIDD_ATTRIBUTES attributes{};
        ASSERT_TRUE (HidD_GetAttributes (file.handle, &attributes));
        EXPECT_EQ (attributes.Size, sizeof (HIDD_ATTRIBUTES));
        EXPECT_EQ (attributes.VendorID, 0x7A3C);
        EXPECT_EQ (attributes.ProductID, 0x6109);
        EXPECT_EQ (attributes.VersionNumber, 0x0213);

        PHIDP_PREPARSED_DATA preparsed = nullptr;
        ASSERT_TRUE (HidD_GetPreparsedData (file.handle, &preparsed));
        HIDP_CAPS caps{};
        EXPECT_EQ (HidP_GetCaps (preparsed, &caps), HIDP_STATUS_SUCCESS);
        EXPECT_EQ (caps.InputReportByteLength, c.inputLength);
        EXPECT_EQ (caps.OutputReportByteLength, c.outputLength);
        EXPECT_EQ (caps.UsagePage, 0xFF00);
        EXPECT_TRUE (HidD_FreePreparsedData (preparsed));
        bus().unplug (device);
    }
}

TEST_F (HidFile, HidCallsOnAGoneDeviceOrFreedDataFail)
{
    const auto device = plugEcho();
    ScopedHandle file (openInterface (device));
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    ASSERT_TRUE (HidD_GetPreparsedData (file.handle, &preparsed));
    bus().unplug (device);

    HIDD_ATTRIBUTES attributes{};
    SetLastError (0);
    EXPECT_FALSE (HidD_GetAttributes (file.handle, &attributes));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_DEVICE_NOT_CONNECTED);
    PHIDP_PREPARSED_DATA more = nullptr;
    EXPECT_FALSE (HidD_GetPreparsedData (file.handle, &more));

    HIDP_CAPS caps{};
    EXPECT_EQ (HidP_GetCaps (preparsed, &caps), HIDP_STATUS_SUCCESS) << "preparsed data outlives its device";
    EXPECT_TRUE (HidD_FreePreparsedData (preparsed));
    EXPECT_EQ (HidP_GetCaps (preparsed, &caps), HIDP_STATUS_INVALID_PREPARSED_DATA);
    EXPECT_FALSE (HidD_FreePreparsedData (preparsed));
    expectInvalidHandleUses (2);
}

//==============================================================================
TEST_F (HidReports, AWriteCarriesTheReportIdAheadOfTheData)
{
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    ScopedHandle file (openInterface (device));
    Overlapped o;

    const Bytes out = report (0, 1);
    DWORD written = 99;
    SetLastError (0);
    EXPECT_FALSE (WriteFile (file.handle, out.data(), 33, &written, &o.ov));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_IO_PENDING) << "the report goes out in the next USB frame";
    EXPECT_EQ (written, 0u);
    EXPECT_EQ (model->received(), std::vector<Bytes>{ data (1) })
        << "the device gets the data without the ID";
    EXPECT_EQ (WaitForSingleObject (o.ov.hEvent, generousMs), (DWORD) WAIT_OBJECT_0);
    DWORD count = 0;
    EXPECT_TRUE (GetOverlappedResult (file.handle, &o.ov, &count, FALSE));
    EXPECT_EQ (count, 33u);

    // The echo came back during the write and waits for the next read.
    Bytes in (33, 0xEE);
    DWORD read = 0;
    ASSERT_TRUE (ReadFile (file.handle, in.data(), 33, &read, &o.ov));
    EXPECT_EQ (read, 33u);
    EXPECT_EQ (in, report (0, 1));
}

TEST_F (HidReports, APacedWriteCompletesInTheFrameItWentOutInNotOneLater)
{
    // A driver latency no test could wait out shows which frame is counted.
    struct Restore
    {
        ~Restore()
        {
            sim::VirtualHidBus::instance().setPacing (false);
            simwin::setDriverLatency (std::chrono::milliseconds (1));
        }
    } restore;
    simwin::setDriverLatency (std::chrono::minutes (1));

    const auto device = plugEcho (controllerDescription());
    ScopedHandle file (openInterface (device));
    Overlapped o;
    const Bytes out = report (0, 1);

    startPendingWrite (file.handle, out, o.ov);
    EXPECT_EQ (WaitForSingleObject (o.ov.hEvent, 100), (DWORD) WAIT_TIMEOUT)
        << "unpaced, the stand-in itself waits the frame out";
    simwin::setDriverLatency (std::chrono::milliseconds (1));
    EXPECT_EQ (cancelAndWait (file.handle, o.ov), (DWORD) ERROR_OPERATION_ABORTED);

    simwin::setDriverLatency (std::chrono::minutes (1));
    sim::VirtualHidBus::instance().setPacing (true);
    startPendingWrite (file.handle, out, o.ov); // the driver's thread still completes it
    EXPECT_EQ (WaitForSingleObject (o.ov.hEvent, generousMs), (DWORD) WAIT_OBJECT_0)
        << "the paced bus already waited for the frame; a second one would halve a load's speed";
    DWORD count = 0;
    EXPECT_TRUE (GetOverlappedResult (file.handle, &o.ov, &count, FALSE));
    EXPECT_EQ (count, 33u);
}

TEST_F (HidReports, WritesOfTheWrongShapeFailAtOnce)
{
    struct Case
    {
        const char* what;
        std::uint8_t deviceReportId;
        int outputBytes;
        DWORD length;
        std::uint8_t firstByte;
        DWORD access;
        DWORD error; ///< 0: the write goes out
    };
    const Case cases[] = {
        { "one byte short", 0, 32, 32, 0, readWrite, ERROR_INVALID_USER_BUFFER },
        { "one byte long", 0, 32, 34, 0, readWrite, ERROR_INVALID_USER_BUFFER },
        { "a report ID for a device without them", 0, 32, 33, 1, readWrite, ERROR_INVALID_PARAMETER },
        { "ID 0 for a device with report ID 5", 5, 32, 33, 0, readWrite, ERROR_INVALID_PARAMETER },
        { "ID 5 for a device with report ID 5", 5, 32, 33, 5, readWrite, 0 },
        { "a device without output reports", 0, 0, 1, 0, readWrite, ERROR_INVALID_FUNCTION },
        { "a handle opened for reading only", 0, 32, 33, 0, GENERIC_READ, ERROR_ACCESS_DENIED },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        auto description = controllerDescription();
        description.outputReportBytes = c.outputBytes;
        std::shared_ptr<EchoDevice> model;
        const auto device = plugEcho (description, &model);
        simwin::DeviceTraits traits;
        traits.reportId = c.deviceReportId;
        simwin::setDeviceTraits (device, traits);

        ScopedHandle file (openInterface (device, 0, c.access));
        Overlapped o;
        Bytes out = report (c.firstByte, 1, std::max<DWORD> (c.length, 1));
        SetLastError (0);
        EXPECT_FALSE (WriteFile (file.handle, out.data(), c.length, nullptr, &o.ov));
        EXPECT_EQ (GetLastError(), c.error == 0 ? (DWORD) ERROR_IO_PENDING : c.error);
        EXPECT_EQ (model->received().size(), c.error == 0 ? 1u : 0u);
        if (c.error == 0)
        {
            DWORD count = 0;
            EXPECT_TRUE (GetOverlappedResult (file.handle, &o.ov, &count, TRUE));
        }
        bus().unplug (device);
    }
}

TEST_F (HidReports, AReadGivesTheReportIdThenTheData)
{
    struct Case
    {
        const char* what;
        std::uint8_t reportId;
        std::size_t sentBytes;
    };
    const Case cases[] = {
        { "a device without report IDs", 0, 32 },
        { "a device with report ID 5", 5, 32 },
        { "a short report, padded with zeros", 0, 10 },
        { "a long report, cut to the report length", 0, 40 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        std::shared_ptr<EchoDevice> model;
        const auto device = plugEcho (controllerDescription(), &model);
        simwin::DeviceTraits traits;
        traits.reportId = c.reportId;
        simwin::setDeviceTraits (device, traits);
        ScopedHandle file (openInterface (device));
        model->sendInput (data (7, c.sentBytes));

        Bytes expected = report (c.reportId, 7);
        for (std::size_t i = c.sentBytes + 1; i < expected.size(); ++i)
            expected[i] = 0;

        // A larger buffer is fine; one report goes into its start.
        Bytes in (40, 0xEE);
        Overlapped o;
        DWORD read = 0;
        ASSERT_TRUE (ReadFile (file.handle, in.data(), (DWORD) in.size(), &read, &o.ov));
        EXPECT_EQ (read, 33u);
        EXPECT_EQ (Bytes (in.begin(), in.begin() + 33), expected);
        EXPECT_EQ (in[33], 0xEE);
        bus().unplug (device);
    }

    const auto device = plugEcho();
    ScopedHandle file (openInterface (device));
    Bytes small (32);
    Overlapped o;
    SetLastError (0);
    EXPECT_FALSE (ReadFile (file.handle, small.data(), 32, nullptr, &o.ov));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_INVALID_USER_BUFFER);
}

TEST_F (HidReports, EachHandleQueuesTheLast32ReportsSinceItsOpen)
{
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    model->sendInput (data (200)); // before any open: nobody keeps it

    ScopedHandle early (openInterface (device, shared));
    for (std::uint8_t i = 0; i < 10; ++i)
        model->sendInput (data (i));
    ScopedHandle late (openInterface (device, shared));
    for (std::uint8_t i = 10; i < 40; ++i)
        model->sendInput (data (i));

    const auto drain = [] (HANDLE file)
    {
        std::vector<int> firsts;
        Overlapped o;
        Bytes in (33);
        while (ReadFile (file, in.data(), 33, nullptr, &o.ov))
            firsts.push_back (in[1]);
        EXPECT_EQ (GetLastError(), (DWORD) ERROR_IO_PENDING) << "an empty queue leaves the read pending";
        EXPECT_EQ (cancelAndWait (file, o.ov), (DWORD) ERROR_OPERATION_ABORTED);
        return firsts;
    };
    std::vector<int> expectedEarly, expectedLate;
    for (int i = 8; i < 40; ++i)
        expectedEarly.push_back (i);
    for (int i = 10; i < 40; ++i)
        expectedLate.push_back (i);
    EXPECT_EQ (drain (early.handle), expectedEarly) << "the oldest go when a 33rd report comes";
    EXPECT_EQ (drain (late.handle), expectedLate);
}

TEST_F (HidReports, FlushingEmptiesOnlyThatHandlesQueue)
{
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    ScopedHandle flushed (openInterface (device, shared));
    ScopedHandle other (openInterface (device, shared));
    model->sendInput (data (1));
    model->sendInput (data (2));

    EXPECT_TRUE (HidD_FlushQueue (flushed.handle));
    Overlapped o;
    Bytes in (33);
    startPendingRead (flushed.handle, in, o.ov);
    Overlapped fromOther;
    ASSERT_TRUE (ReadFile (other.handle, in.data(), 33, nullptr, &fromOther.ov));
    EXPECT_EQ (in, report (0, 1)) << "another handle keeps its reports";

    // A read already pending stays, and takes the next report.
    Bytes pending (33);
    Overlapped p;
    startPendingRead (flushed.handle, pending, p.ov);
    EXPECT_EQ (cancelAndWait (flushed.handle, o.ov), (DWORD) ERROR_OPERATION_ABORTED);
    EXPECT_TRUE (HidD_FlushQueue (flushed.handle));
    model->sendInput (data (3));
    EXPECT_EQ (WaitForSingleObject (p.ov.hEvent, generousMs), (DWORD) WAIT_OBJECT_0);
    EXPECT_EQ (pending, report (0, 3));

    bus().unplug (device);
    SetLastError (0);
    EXPECT_FALSE (HidD_FlushQueue (flushed.handle));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_DEVICE_NOT_CONNECTED);
}

//==============================================================================
TEST_F (OverlappedIo, AReadPendsUntilAReportArrives)
{
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    ScopedHandle file (openInterface (device));
    Overlapped o;
    Bytes in (33, 0xEE);
    const auto transfersBefore = simwin::pendingTransfers();

    startPendingRead (file.handle, in, o.ov);
    EXPECT_EQ (simwin::pendingTransfers(), transfersBefore + 1);
    DWORD count = 7;
    SetLastError (0);
    EXPECT_FALSE (GetOverlappedResult (file.handle, &o.ov, &count, FALSE));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_IO_INCOMPLETE);
    EXPECT_EQ (WaitForSingleObject (o.ov.hEvent, 0), (DWORD) WAIT_TIMEOUT);
    EXPECT_EQ (in, Bytes (33, 0xEE));

    std::thread sender ([&] { model->sendInput (data (3)); });
    EXPECT_EQ (WaitForSingleObject (o.ov.hEvent, generousMs), (DWORD) WAIT_OBJECT_0);
    sender.join();
    EXPECT_TRUE (GetOverlappedResult (file.handle, &o.ov, &count, FALSE));
    EXPECT_EQ (count, 33u);
    EXPECT_EQ (in, report (0, 3));
    EXPECT_EQ (o.ov.Internal, 0u);
    EXPECT_EQ (o.ov.InternalHigh, 33u);
    EXPECT_EQ (simwin::pendingTransfers(), transfersBefore);
}

TEST_F (OverlappedIo, ARefusedWriteStaysPendingUntilCancelled)
{
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    model->setRefusing (true);
    ScopedHandle file (openInterface (device));
    Overlapped o;
    const Bytes out = report (0, 1);

    startPendingWrite (file.handle, out, o.ov);
    EXPECT_EQ (model->received().size(), 1u) << "the device was offered the report";
    EXPECT_EQ (WaitForSingleObject (o.ov.hEvent, 0), (DWORD) WAIT_TIMEOUT);

    EXPECT_TRUE (CancelIoEx (file.handle, &o.ov));
    DWORD count = 7;
    SetLastError (0);
    EXPECT_FALSE (GetOverlappedResult (file.handle, &o.ov, &count, TRUE));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_OPERATION_ABORTED);
    EXPECT_EQ (count, 0u);

    SetLastError (0);
    EXPECT_FALSE (CancelIoEx (file.handle, &o.ov));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_NOT_FOUND);

    model->setRefusing (false);
    EXPECT_EQ (writeAndWait (file.handle, out, o.ov), 0u);
}

TEST_F (OverlappedIo, CancelIoEndsOnlyTheCallingThreadsTransfers)
{
    const auto device = plugEcho();
    ScopedHandle file (openInterface (device));
    Overlapped o;
    Bytes in (33);
    startPendingRead (file.handle, in, o.ov);

    std::thread ([&] { EXPECT_TRUE (CancelIo (file.handle)); }).join();
    DWORD count = 0;
    SetLastError (0);
    EXPECT_FALSE (GetOverlappedResult (file.handle, &o.ov, &count, FALSE));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_IO_INCOMPLETE) << "another thread's CancelIo leaves it alone";

    EXPECT_TRUE (CancelIo (file.handle));
    SetLastError (0);
    EXPECT_FALSE (GetOverlappedResult (file.handle, &o.ov, &count, TRUE));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_OPERATION_ABORTED);
}

TEST_F (OverlappedIo, NothingIsWrittenAfterACancel)
{
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    ScopedHandle file (openInterface (device));
    Overlapped o;
    Bytes in (33, 0xEE);
    startPendingRead (file.handle, in, o.ov);
    ASSERT_TRUE (CancelIoEx (file.handle, &o.ov));

    model->sendInput (data (1));
    EXPECT_EQ (in, Bytes (33, 0xEE)) << "a report after the cancel stays out of the buffer";
    DWORD count = 7;
    EXPECT_FALSE (GetOverlappedResult (file.handle, &o.ov, &count, TRUE));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_OPERATION_ABORTED);
    EXPECT_EQ (o.ov.Internal, statusCancelled);

    // Whether the wait took the event's signal depends on when the driver
    // completed the transfer; from here on nothing may set it again.
    ResetEvent (o.ov.hEvent);
    const OVERLAPPED seen = o.ov;
    model->sendInput (data (2));
    EXPECT_EQ (std::memcmp (&seen, &o.ov, sizeof (OVERLAPPED)), 0);
    EXPECT_EQ (in, Bytes (33, 0xEE));
    EXPECT_EQ (WaitForSingleObject (o.ov.hEvent, 0), (DWORD) WAIT_TIMEOUT);

    // Both reports wait for the next reads.
    Overlapped next;
    ASSERT_TRUE (ReadFile (file.handle, in.data(), 33, nullptr, &next.ov));
    EXPECT_EQ (in, report (0, 1));
    ASSERT_TRUE (ReadFile (file.handle, in.data(), 33, nullptr, &next.ov));
    EXPECT_EQ (in, report (0, 2));
}

TEST_F (OverlappedIo, ACancelledTransferCompletesByItself)
{
    const auto device = plugEcho();
    ScopedHandle file (openInterface (device));
    struct Case
    {
        const char* what;
        std::function<bool (OVERLAPPED&)> look; ///< true: it saw the cancelled end
    };
    const Case cases[] = {
        { "nobody looking",
          [] (OVERLAPPED& ov)
          {
              return waitForPendingTransfers (0) && HasOverlappedIoCompleted (&ov) &&
                     WaitForSingleObject (ov.hEvent, 0) == WAIT_OBJECT_0;
          } },
        { "GetOverlappedResult waiting",
          [&] (OVERLAPPED& ov)
          {
              DWORD n = 0;
              return !GetOverlappedResult (file.handle, &ov, &n, TRUE) &&
                     GetLastError() == ERROR_OPERATION_ABORTED;
          } },
        { "GetOverlappedResultEx waiting",
          [&] (OVERLAPPED& ov)
          {
              DWORD n = 0;
              return !GetOverlappedResultEx (file.handle, &ov, &n, generousMs, FALSE) &&
                     GetLastError() == ERROR_OPERATION_ABORTED;
          } },
        { "a wait on its event",
          [] (OVERLAPPED& ov) { return WaitForSingleObject (ov.hEvent, generousMs) == WAIT_OBJECT_0; } },
        { "a wait on the file",
          [&] (OVERLAPPED&) { return WaitForSingleObject (file.handle, generousMs) == WAIT_OBJECT_0; } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Overlapped o;
        Bytes in (33);
        startPendingRead (file.handle, in, o.ov);
        EXPECT_EQ (WaitForSingleObject (file.handle, 0), (DWORD) WAIT_TIMEOUT) << "a transfer runs on it";
        ASSERT_TRUE (CancelIoEx (file.handle, &o.ov));

        EXPECT_TRUE (c.look (o.ov));
        EXPECT_EQ (o.ov.Internal, statusCancelled);
        EXPECT_TRUE (waitForPendingTransfers (0));
        EXPECT_EQ (WaitForSingleObject (file.handle, 0), (DWORD) WAIT_OBJECT_0) << "the file is signalled";
    }
}

TEST_F (OverlappedIo, WithoutAnEventAWaitEndsAtOnceAndTheFileIsWaitedOn)
{
    const auto device = plugEcho();
    ScopedHandle file (openInterface (device));
    simwin::injectFault (simwin::Call::createEvent);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW (nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ (ov.hEvent, nullptr);

    Bytes in (33);
    startPendingRead (file.handle, in, ov);
    SetLastError (0);
    EXPECT_EQ (WaitForSingleObject (ov.hEvent, INFINITE), WAIT_FAILED);
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_INVALID_HANDLE);
    EXPECT_EQ (cancelAndWait (file.handle, ov), (DWORD) ERROR_OPERATION_ABORTED)
        << "GetOverlappedResult waits on the file when there is no event";
    EXPECT_FALSE (CloseHandle (ov.hEvent));
}

TEST_F (OverlappedIo, AWaitingGetOverlappedResultWaitsOnTheObjectNotOnTheTransfer)
{
    // As on Windows: whatever signals the event, or the file when there is no
    // event, ends the wait, and the transfer may still be pending then.
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    ScopedHandle file (openInterface (device));
    Bytes in (33);
    DWORD count = 0;

    Overlapped withEvent;
    startPendingRead (file.handle, in, withEvent.ov);
    SetEvent (withEvent.ov.hEvent);
    SetLastError (0);
    EXPECT_FALSE (GetOverlappedResult (file.handle, &withEvent.ov, &count, TRUE));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_IO_INCOMPLETE) << "someone else set the event";
    EXPECT_EQ (cancelAndWait (file.handle, withEvent.ov), (DWORD) ERROR_OPERATION_ABORTED);

    OVERLAPPED first{}, second{};
    Bytes other (33);
    startPendingRead (file.handle, in, first);
    startPendingRead (file.handle, other, second);
    model->sendInput (data (1)); // ends the first read, which sets the file
    SetLastError (0);
    EXPECT_FALSE (GetOverlappedResult (file.handle, &second, &count, TRUE));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_IO_INCOMPLETE) << "the file was set by the other read";
    EXPECT_TRUE (GetOverlappedResult (file.handle, &first, &count, TRUE));
    EXPECT_EQ (in, report (0, 1));
    CancelIoEx (file.handle, &second);
    EXPECT_TRUE (waitForPendingTransfers (0));
    EXPECT_EQ (second.Internal, statusCancelled);
}

TEST_F (OverlappedIo, RemovalEndsPendingTransfersAndLaterOnesFailAtOnce)
{
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    model->setRefusing (true);
    ScopedHandle file (openInterface (device));
    Overlapped reading, writing;
    Bytes in (33);
    const Bytes out = report (0, 1);
    startPendingRead (file.handle, in, reading.ov);
    EXPECT_FALSE (WriteFile (file.handle, out.data(), 33, nullptr, &writing.ov));

    std::thread ([device] { bus().unplug (device); }).join();
    for (auto* ov : { &reading.ov, &writing.ov })
    {
        EXPECT_EQ (WaitForSingleObject (ov->hEvent, generousMs), (DWORD) WAIT_OBJECT_0);
        DWORD count = 0;
        SetLastError (0);
        EXPECT_FALSE (GetOverlappedResult (file.handle, ov, &count, FALSE));
        EXPECT_EQ (GetLastError(), (DWORD) ERROR_DEVICE_NOT_CONNECTED);
    }

    SetLastError (0);
    EXPECT_FALSE (ReadFile (file.handle, in.data(), 33, nullptr, &reading.ov));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_DEVICE_NOT_CONNECTED);
    SetLastError (0);
    EXPECT_FALSE (WriteFile (file.handle, out.data(), 33, nullptr, &writing.ov));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_DEVICE_NOT_CONNECTED);
}

TEST_F (OverlappedIo, AReportQueuedBeforeARemovalGoesWithTheDevice)
{
    // A device that answers and drops off the bus at once, as a controller
    // does when it reboots after its execute ACK: the host has the reply only
    // if its read was pending when the reply came.
    struct Case
    {
        const char* what;
        bool readPending;
    };
    const Case cases[] = { { "the read was pending", true }, { "the read came after the removal", false } };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        std::shared_ptr<EchoDevice> model;
        const auto device = plugEcho (controllerDescription(), &model);
        ScopedHandle file (openInterface (device));
        Overlapped o;
        Bytes in (33, 0xEE);
        if (c.readPending)
            startPendingRead (file.handle, in, o.ov);

        std::thread (
            [&]
            {
                model->sendInput (data (7));
                bus().unplug (device);
            })
            .join();

        DWORD count = 0;
        SetLastError (0);
        if (c.readPending)
        {
            EXPECT_TRUE (GetOverlappedResult (file.handle, &o.ov, &count, TRUE));
            EXPECT_EQ (in, report (0, 7));
        }
        else
        {
            EXPECT_FALSE (ReadFile (file.handle, in.data(), 33, nullptr, &o.ov));
            EXPECT_EQ (GetLastError(), (DWORD) ERROR_DEVICE_NOT_CONNECTED) << "the queued report went";
            EXPECT_EQ (in, Bytes (33, 0xEE));
        }
    }
}

TEST_F (OverlappedIo, ClosingAHandleCancelsItsTransfers)
{
    const auto device = plugEcho();
    HANDLE file = openInterface (device);
    Overlapped o;
    Bytes in (33);
    startPendingRead (file, in, o.ov);
    EXPECT_TRUE (CloseHandle (file));

    EXPECT_EQ (WaitForSingleObject (o.ov.hEvent, generousMs), (DWORD) WAIT_OBJECT_0) << "completed by itself";
    EXPECT_EQ (o.ov.Internal, statusCancelled);
    ScopedHandle again (openInterface (device));
    EXPECT_NE (again.handle, INVALID_HANDLE_VALUE) << "the closed handle's exclusive open went with it";
}

TEST_F (OverlappedIo, MisusedOverlappedsAreCounted)
{
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    ScopedHandle file (openInterface (device));

    // A second read into the record of one still pending.
    Overlapped o;
    Bytes first (33), second (33);
    startPendingRead (file.handle, first, o.ov);
    startPendingRead (file.handle, second, o.ov);
    model->sendInput (data (1));
    model->sendInput (data (2));
    EXPECT_EQ (first, report (0, 1));
    EXPECT_EQ (second, report (0, 2));

    // Closing the event of a pending transfer, which would still set it.
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW (nullptr, TRUE, FALSE, nullptr);
    startPendingRead (file.handle, first, ov);
    CloseHandle (ov.hEvent);
    model->sendInput (data (3));
    EXPECT_TRUE (HasOverlappedIoCompleted (&ov));
    expectOverlappedMisuses (2);
}

TEST_F (OverlappedIo, AHandleWithoutTheOverlappedFlagBlocksItsCaller)
{
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    model->setEchoing (false);
    ScopedHandle file (openInterface (device, shared, readWrite, FILE_ATTRIBUTE_NORMAL));
    const auto transfersBefore = simwin::pendingTransfers();

    Bytes in (33);
    DWORD read = 0;
    BOOL ok = FALSE;
    std::thread reader ([&] { ok = ReadFile (file.handle, in.data(), 33, &read, nullptr); });
    ASSERT_TRUE (waitForPendingTransfers (transfersBefore + 1));
    model->sendInput (data (9));
    reader.join();
    EXPECT_TRUE (ok);
    EXPECT_EQ (read, 33u);
    EXPECT_EQ (in, report (0, 9));

    const Bytes out = report (0, 1);
    DWORD written = 0;
    EXPECT_TRUE (WriteFile (file.handle, out.data(), 33, &written, nullptr));
    EXPECT_EQ (written, 33u);

    ScopedHandle overlapped (openInterface (device, shared, GENERIC_READ));
    SetLastError (0);
    EXPECT_FALSE (ReadFile (overlapped.handle, in.data(), 33, &read, nullptr));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_INVALID_PARAMETER) << "an overlapped handle needs an OVERLAPPED";
}

//==============================================================================
TEST_F (HidFaults, EachFaultFailsItsCallWithItsCode)
{
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    const auto other = plugEcho();
    ScopedHandle file (openInterface (device, shared));
    const auto path = simwin::interfacePathOf (device);

    /** Runs the call once; 0 when it worked, else its code. */
    using Run = std::function<DWORD()>;
    struct Case
    {
        const char* what;
        simwin::Call call;
        DWORD usualCode;
        bool aboutDevice;
        Run run;
    };
    const Case cases[] = {
        { "CreateFileW", simwin::Call::createFile, ERROR_ACCESS_DENIED, true,
          [&]
          {
              HANDLE h = CreateFileW (path.c_str(), readWrite, shared, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
              return h == INVALID_HANDLE_VALUE ? GetLastError() : (CloseHandle (h), 0u);
          } },
        { "HidD_GetAttributes", simwin::Call::hidDGetAttributes, ERROR_GEN_FAILURE, true,
          [&]
          {
              HIDD_ATTRIBUTES a{};
              return HidD_GetAttributes (file.handle, &a) ? 0u : GetLastError();
          } },
        { "HidD_FlushQueue", simwin::Call::hidDFlushQueue, ERROR_GEN_FAILURE, true,
          [&] { return HidD_FlushQueue (file.handle) ? 0u : GetLastError(); } },
        { "HidD_GetPreparsedData", simwin::Call::hidDGetPreparsedData, ERROR_GEN_FAILURE, true,
          [&]
          {
              PHIDP_PREPARSED_DATA p = nullptr;
              return HidD_GetPreparsedData (file.handle, &p) ? (HidD_FreePreparsedData (p), 0u)
                                                             : GetLastError();
          } },
        { "HidP_GetCaps", simwin::Call::hidPGetCaps, (DWORD) HIDP_STATUS_INVALID_PREPARSED_DATA, true,
          [&]
          {
              PHIDP_PREPARSED_DATA p = nullptr;
              HidD_GetPreparsedData (file.handle, &p);
              HIDP_CAPS caps{};
              const NTSTATUS status = HidP_GetCaps (p, &caps);
              HidD_FreePreparsedData (p);
              return status == HIDP_STATUS_SUCCESS ? 0u : (DWORD) status;
          } },
        { "ReadFile", simwin::Call::readFile, ERROR_GEN_FAILURE, true,
          [&]
          {
              model->sendInput (data (1));
              Overlapped o;
              Bytes in (33);
              return ReadFile (file.handle, in.data(), 33, nullptr, &o.ov) ? 0u : GetLastError();
          } },
        { "WriteFile", simwin::Call::writeFile, ERROR_GEN_FAILURE, true,
          [&]
          {
              const auto offered = model->received().size();
              Overlapped o;
              const Bytes out = report (0, 1);
              const DWORD code = writeAndWait (file.handle, out, o.ov);
              EXPECT_EQ (model->received().size(), offered + (code == 0 ? 1 : 0))
                  << "a failed write reached the device";
              return code;
          } },
        { "GlobalAlloc", simwin::Call::globalAlloc, ERROR_NOT_ENOUGH_MEMORY, false,
          []
          {
              HGLOBAL block = GlobalAlloc (GMEM_FIXED, 33);
              return block == nullptr ? GetLastError() : (GlobalFree (block), 0u);
          } },
        { "CreateEventW", simwin::Call::createEvent, ERROR_NOT_ENOUGH_MEMORY, false,
          []
          {
              HANDLE event = CreateEventW (nullptr, FALSE, FALSE, nullptr);
              return event == nullptr ? GetLastError() : (CloseHandle (event), 0u);
          } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        EXPECT_EQ (c.run(), 0u);

        simwin::injectFault (c.call, { 1, 1, 0, 0 });
        EXPECT_EQ (c.run(), 0u) << "the first call is skipped";
        EXPECT_EQ (c.run(), c.usualCode);
        EXPECT_EQ (c.run(), 0u) << "the fault struck once";

        if (c.aboutDevice)
        {
            simwin::injectFault (c.call, { 0, -1, other, 0 });
            EXPECT_EQ (c.run(), 0u) << "a fault for another device";
        }
        simwin::injectFault (c.call, { 0, -1, c.aboutDevice ? device : 0, ERROR_PATH_NOT_FOUND });
        EXPECT_EQ (c.run(), (DWORD) ERROR_PATH_NOT_FOUND);
        EXPECT_EQ (c.run(), (DWORD) ERROR_PATH_NOT_FOUND) << "until cleared";
        simwin::clearFaults();
        EXPECT_EQ (c.run(), 0u);
    }
}
} // namespace
