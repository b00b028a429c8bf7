// Windows and messages of the simulated platform: classes and creation, the
// owning thread, sent and posted messages on the message thread (through the
// JUCE bridge) and on a worker's own loop, device interface events for
// registered windows, broadcasts for top-level windows, and the fault knobs.

#include "StandInTest.h"

#include "TestSupport.h"

#include <Win32MessageBridge.h>
#include <dbt.h>

#include <juce_events/juce_events.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>

using namespace wintest;
using namespace simtest;

namespace
{
const wchar_t* const className = L"SimWin32TestWindow";

//==============================================================================
// What the windows of the tests see

struct Seen
{
    HWND window;
    UINT message;
    WPARAM wParam;
    std::vector<unsigned char> record; ///< a copy of the broadcast record
    std::thread::id thread;
};

std::mutex seenLock;
std::vector<Seen> seenMessages;

/** Set on a worker whose window ends its loop when destroyed. */
thread_local bool quitOnDestroy = false;

std::vector<Seen> seen (HWND window = nullptr, UINT message = 0)
{
    std::lock_guard<std::mutex> guard (seenLock);
    std::vector<Seen> matching;
    for (auto& s : seenMessages)
        if ((window == nullptr || s.window == window) && (message == 0 || s.message == message))
            matching.push_back (s);
    return matching;
}

std::size_t countSeen (HWND window, UINT message, WPARAM wParam)
{
    const auto all = seen (window, message);
    return (std::size_t) std::count_if (all.begin(), all.end(),
                                        [wParam] (const Seen& s) { return s.wParam == wParam; });
}

LRESULT CALLBACK recordingProcedure (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Seen s{ window, message, wParam, {}, std::this_thread::get_id() };
    if (message == WM_DEVICECHANGE && lParam != 0)
    {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*> (lParam);
        const auto* bytes = reinterpret_cast<const unsigned char*> (lParam);
        s.record.assign (bytes, bytes + header->dbch_size);
    }
    if (message == WM_NCCREATE || message == WM_CREATE)
    {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*> (lParam);
        s.wParam = (WPARAM) create->lpCreateParams;
    }
    {
        std::lock_guard<std::mutex> guard (seenLock);
        seenMessages.push_back (std::move (s));
    }

    if (message == WM_USER + 1)
        return 42;
    if (message == WM_DEVICECHANGE && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE))
        return TRUE;
    if (message == WM_DESTROY && quitOnDestroy)
        PostQuitMessage (7);
    return DefWindowProcW (window, message, wParam, lParam);
}

/** Answers every message with 0, WM_NCCREATE included. */
LRESULT CALLBACK forgetfulProcedure (HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}

HWND makeWindow (HWND parent = nullptr, LPVOID parameter = nullptr)
{
    return CreateWindowExW (0, className, L"test", 0, 0, 0, 0, 0, parent, nullptr, GetModuleHandleW (nullptr),
                            parameter);
}

DEV_BROADCAST_DEVICEINTERFACE_W filterFor (const GUID& interfaceClass)
{
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof (filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = interfaceClass;
    return filter;
}

DEV_BROADCAST_DEVICEINTERFACE_W hidFilter()
{
    GUID hid;
    HidD_GetHidGuid (&hid);
    return filterFor (hid);
}

const GUID otherInterfaceClass = {
    0x76543210, 0xFEDC, 0xBA98, { 0x76, 0x54, 0x32, 0x10, 0xFE, 0xDC, 0xBA, 0x98 }
};

/** A window on a thread of its own, which runs GetMessageW until its window is
    destroyed (WM_CLOSE does that). */
class WorkerWindow
{
public:
    /** setUp runs on the worker once the window exists; with hold, the worker
        waits for release() before it first looks for messages. */
    explicit WorkerWindow (std::function<void (HWND)> setUp = {}, bool hold = false)
        : ready (CreateEventW (nullptr, TRUE, FALSE, nullptr))
        , go (CreateEventW (nullptr, TRUE, !hold, nullptr))
        , thread ([this, setUp] { run (setUp); })
    {
        EXPECT_EQ (WaitForSingleObject (ready, generousMs), (DWORD) WAIT_OBJECT_0);
    }

    ~WorkerWindow()
    {
        stop();
        CloseHandle (ready);
        CloseHandle (go);
    }

    HWND window() const { return handle; }
    void release() { SetEvent (go); }

    /** Ends the loop; returns its quit code. */
    int stop()
    {
        if (thread.joinable())
        {
            release();
            PostMessageW (handle, WM_CLOSE, 0, 0);
            thread.join();
        }
        return quitCode;
    }

    std::vector<UINT> postedSeen() const { return posted; }

private:
    void run (const std::function<void (HWND)>& setUp)
    {
        quitOnDestroy = true;
        handle = makeWindow();
        if (setUp)
            setUp (handle);
        SetEvent (ready);
        WaitForSingleObject (go, INFINITE);

        MSG msg;
        while (GetMessageW (&msg, nullptr, 0, 0) > 0)
        {
            posted.push_back (msg.message);
            DispatchMessageW (&msg);
        }
        quitCode = (int) msg.wParam;
    }

    HANDLE ready;
    HANDLE go;
    HWND handle = nullptr;
    std::vector<UINT> posted;
    int quitCode = -1;
    std::thread thread;
};

//==============================================================================
class Windows : public StandInTest
{
protected:
    void SetUp() override
    {
        StandInTest::SetUp();
        {
            std::lock_guard<std::mutex> guard (seenLock);
            seenMessages.clear();
        }
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof (windowClass);
        windowClass.lpfnWndProc = recordingProcedure;
        windowClass.hInstance = GetModuleHandleW (nullptr);
        windowClass.lpszClassName = className;
        ASSERT_NE (RegisterClassExW (&windowClass), 0);
    }

    void TearDown() override
    {
        for (auto notification : notifications)
            UnregisterDeviceNotification (notification);
        for (auto it = windows.rbegin(); it != windows.rend(); ++it)
            if (IsWindow (*it))
                DestroyWindow (*it);
        EXPECT_TRUE (UnregisterClassW (className, GetModuleHandleW (nullptr)));
        StandInTest::TearDown();
    }

    /** A window of the message thread, destroyed after the test. */
    HWND window (HWND parent = nullptr)
    {
        HWND made = makeWindow (parent);
        EXPECT_NE (made, nullptr);
        windows.push_back (made);
        return made;
    }

    HDEVNOTIFY registerFor (HWND target, DEV_BROADCAST_DEVICEINTERFACE_W filter, DWORD flags = 0)
    {
        HDEVNOTIFY notification =
            RegisterDeviceNotificationW (target, &filter, DEVICE_NOTIFY_WINDOW_HANDLE | flags);
        EXPECT_NE (notification, nullptr);
        notifications.push_back (notification);
        return notification;
    }

    std::vector<HWND> windows;
    std::vector<HDEVNOTIFY> notifications;
};

TEST_F (Windows, ClassesAreFoundByNameIgnoringCase)
{
    WNDCLASSEXW again{};
    again.cbSize = sizeof (again);
    again.lpfnWndProc = recordingProcedure;
    again.lpszClassName = L"SIMWIN32TESTWINDOW";
    SetLastError (0);
    EXPECT_EQ (RegisterClassExW (&again), 0);
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_CLASS_ALREADY_EXISTS);

    again.lpszClassName = L"SimWin32OtherWindow";
    again.cbSize = 48; // a 32-bit program's
    SetLastError (0);
    EXPECT_EQ (RegisterClassExW (&again), 0);
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_INVALID_PARAMETER);

    SetLastError (0);
    EXPECT_EQ (CreateWindowExW (0, L"NoSuchClass", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
               nullptr);
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_CANNOT_FIND_WND_CLASS);

    HWND made = window();
    SetLastError (0);
    EXPECT_FALSE (UnregisterClassW (className, nullptr));
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_CLASS_HAS_WINDOWS);
    DestroyWindow (made);
}

TEST_F (Windows, CreationAndDestructionSendTheirMessages)
{
    int parameter = 0;
    HWND made = makeWindow (nullptr, &parameter);
    ASSERT_NE (made, nullptr);
    EXPECT_TRUE (IsWindow (made));
    EXPECT_TRUE (DestroyWindow (made));
    EXPECT_FALSE (IsWindow (made));

    std::vector<UINT> messages;
    for (auto& s : seen (made))
        messages.push_back (s.message);
    EXPECT_EQ (messages, (std::vector<UINT>{ WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY }));
    EXPECT_EQ (seen (made, WM_CREATE).front().wParam, (WPARAM) &parameter) << "the creation parameter";
    EXPECT_GT (simwin::defaultProcessed (WM_NCCREATE, 0), 0u);

    // A procedure that answers WM_NCCREATE with 0 makes no window.
    WNDCLASSEXW forgetful{};
    forgetful.cbSize = sizeof (forgetful);
    forgetful.lpfnWndProc = forgetfulProcedure;
    forgetful.lpszClassName = L"SimWin32ForgetfulWindow";
    ASSERT_NE (RegisterClassExW (&forgetful), 0);
    const auto windowsBefore = simwin::liveWindows();
    EXPECT_EQ (
        CreateWindowExW (0, forgetful.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ (simwin::liveWindows(), windowsBefore);
    EXPECT_TRUE (UnregisterClassW (forgetful.lpszClassName, nullptr));
}

TEST_F (Windows, AWindowBelongsToTheThreadThatMadeIt)
{
    HWND mine = window();
    DWORD error = 0;
    std::thread (
        [&]
        {
            SetLastError (0);
            EXPECT_FALSE (DestroyWindow (mine));
            error = GetLastError();
        })
        .join();
    EXPECT_EQ (error, (DWORD) ERROR_ACCESS_DENIED);
    EXPECT_TRUE (IsWindow (mine));

    // A thread's windows go when it ends.
    HWND theirs = nullptr;
    std::thread ([&] { theirs = makeWindow(); }).join();
    ASSERT_NE (theirs, nullptr);
    EXPECT_FALSE (IsWindow (theirs));
    SetLastError (0);
    EXPECT_EQ (SendMessageW (theirs, WM_USER + 1, 0, 0), 0);
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F (Windows, MessagesFromOtherThreadsRunInTheMessageLoop)
{
    HWND target = window();
    std::atomic<bool> sent{ false };
    LRESULT result = 0;
    std::thread sender (
        [&]
        {
            result = SendMessageW (target, WM_USER + 1, 5, 0);
            PostMessageW (target, WM_USER + 2, 6, 0);
            sent = true;
        });

    // The sender waits until JUCE's loop, through the bridge, has run it.
    EXPECT_TRUE (ulktest::pumpUntil ([&] { return sent.load() && !seen (target, WM_USER + 2).empty(); }));
    sender.join();
    EXPECT_EQ (result, 42);
    const auto got = seen (target, WM_USER + 1);
    ASSERT_EQ (got.size(), 1u);
    EXPECT_EQ (got.front().thread, std::this_thread::get_id());
    EXPECT_EQ (got.front().wParam, 5u);
    EXPECT_EQ (seen (target, WM_USER + 2).front().thread, std::this_thread::get_id());
}

TEST_F (Windows, TheBridgeCanStartItselfWithTheFirstWindow)
{
    std::thread::id hookThread;
    simwin::setWindowCreationHook ([&] { hookThread = std::this_thread::get_id(); });
    std::thread::id worker;
    std::thread (
        [&]
        {
            worker = std::this_thread::get_id();
            DestroyWindow (makeWindow());
        })
        .join();
    EXPECT_EQ (hookThread, worker) << "the hook runs on the creating thread";

    simwin::stopMessageThreadBridge();
    simwin::startBridgeOnFirstWindow();
    HWND target = window();
    PostMessageW (target, WM_USER + 2, 0, 0);
    EXPECT_TRUE (ulktest::pumpUntil ([&] { return !seen (target, WM_USER + 2).empty(); }))
        << "JUCE's loop pumps the window once it is made";
    simwin::setWindowCreationHook (nullptr);
}

TEST_F (Windows, AWorkerRunsItsOwnLoopWithSentMessagesAheadOfPosted)
{
    HDEVNOTIFY notification = nullptr;
    {
        WorkerWindow worker (
            [&] (HWND w)
            {
                auto filter = hidFilter();
                notification = RegisterDeviceNotificationW (w, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
            },
            true);
        ASSERT_NE (notification, nullptr);

        // While the worker looks at nothing: a posted message, then a device
        // event, which the system sends.
        EXPECT_TRUE (PostMessageW (worker.window(), WM_USER + 2, 0, 0));
        const auto device = plugEcho();
        worker.release();

        EXPECT_TRUE (ulktest::pumpUntil ([&] { return !seen (worker.window(), WM_USER + 2).empty(); }));
        const auto all = seen (worker.window());
        const auto arrival = std::find_if (
            all.begin(), all.end(),
            [] (const Seen& s) { return s.message == WM_DEVICECHANGE && s.wParam == DBT_DEVICEARRIVAL; });
        const auto posted =
            std::find_if (all.begin(), all.end(), [] (const Seen& s) { return s.message == WM_USER + 2; });
        ASSERT_NE (arrival, all.end());
        EXPECT_LT (arrival - all.begin(), posted - all.begin()) << "a sent message runs before a posted one";
        EXPECT_NE (arrival->thread, std::this_thread::get_id());
        EXPECT_EQ (countSeen (worker.window(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED), 1u);

        EXPECT_EQ (worker.stop(), 7) << "WM_CLOSE destroyed the window, whose WM_DESTROY posted the quit";
        EXPECT_EQ (worker.postedSeen(), (std::vector<UINT>{ WM_USER + 2, WM_CLOSE }))
            << "GetMessageW hands out posted messages only";
        bus().unplug (device);
    }
    EXPECT_TRUE (UnregisterDeviceNotification (notification));
}

TEST_F (Windows, DefaultProcessingAnswersAsWindowsDoes)
{
    HWND target = window();
    struct Case
    {
        UINT message;
        WPARAM wParam;
        LRESULT result;
    };
    const Case cases[] = {
        { WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0 },
        { WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0 },
        { WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0 },
        { WM_USER + 7, 0, 0 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.message << " " << c.wParam);
        EXPECT_EQ (DefWindowProcW (target, c.message, c.wParam, 0), c.result);
    }
}

TEST_F (Windows, ABoxBlocksAWorkerWhileItsLoopDispatchesTheWorkersMessages)
{
    std::atomic<int> rounds{ 0 };
    simwin::setMessageBoxHandler (
        [&] (const simwin::MessageBoxRecord&)
        {
            ++rounds;
            return 0; // only its button closes it
        });

    std::atomic<int> result{ -1 };
    std::atomic<HWND> mine{ nullptr };
    std::thread worker (
        [&]
        {
            HWND w = makeWindow();
            auto filter = hidFilter();
            HDEVNOTIFY notification = RegisterDeviceNotificationW (w, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
            PostMessageW (w, WM_USER + 2, 0, 0);
            mine = w;
            result = MessageBoxA (nullptr, "Load was completed.", "ULK Updater", MB_ICONINFORMATION);
            UnregisterDeviceNotification (notification);
            DestroyWindow (w);
        });

    // What was posted before the box, and what comes while it is open, is
    // dispatched by its loop on the worker: sent messages and device events.
    ASSERT_TRUE (ulktest::pumpUntil (
        [&] { return simwin::openMessageBoxes() == 1 && !seen (mine, WM_USER + 2).empty(); }));
    EXPECT_NE (seen (mine, WM_USER + 2).front().thread, std::this_thread::get_id());
    EXPECT_EQ (SendMessageW (mine, WM_USER + 1, 0, 0), 42);
    const auto device = plugEcho();
    EXPECT_TRUE (
        ulktest::pumpUntil ([&] { return countSeen (mine, WM_DEVICECHANGE, DBT_DEVICEARRIVAL) == 1; }));
    ulktest::pumpFor (20);
    EXPECT_EQ (result.load(), -1) << "the box still blocks its caller";
    EXPECT_GT (rounds.load(), 1) << "the knob is asked every round";

    simwin::pressOkOnOpenBoxes();
    worker.join();
    EXPECT_EQ (result.load(), IDOK);
    EXPECT_EQ (simwin::openMessageBoxes(), 0u);
    bus().unplug (device);
    simwin::setMessageBoxHandler (nullptr);
    simwin::clearMessageBoxes();
}

TEST_F (Windows, OnTheMessageThreadABoxRunsJucesLoop)
{
    // JUCE's timers and asynchronous calls, and the thread's window messages
    // (posted before the box and from another thread while it is open), all
    // go on while the box is up, as on Windows, where all of them are window
    // messages.
    HWND target = window();
    struct Ticks : juce::Timer
    {
        void timerCallback() override { ++count; }
        int count = 0;
    } ticks;
    ticks.startTimer (10);
    bool asyncRan = false;
    juce::MessageManager::callAsync ([&] { asyncRan = true; });
    PostMessageW (target, WM_USER + 2, 0, 0);
    std::thread poster (
        [&]
        {
            Sleep (30);
            PostMessageW (target, WM_USER + 3, 0, 0);
        });

    simwin::setMessageBoxHandler (
        [&] (const simwin::MessageBoxRecord& box)
        {
            EXPECT_EQ (box.thread, std::this_thread::get_id());
            const bool allSeen = ticks.count >= 3 && asyncRan && !seen (target, WM_USER + 2).empty() &&
                                 !seen (target, WM_USER + 3).empty();
            return allSeen ? IDOK : 0;
        });
    EXPECT_EQ (MessageBoxA (nullptr, "About", "ULK Updater", MB_OK), IDOK);
    poster.join();
    ticks.stopTimer();
    simwin::setMessageBoxHandler (nullptr);
    simwin::clearMessageBoxes();
}

TEST_F (Windows, ARegisteredWindowHearsOfArrivalsAndRemovals)
{
    const auto before = plugEcho();
    HWND target = window();
    registerFor (target, hidFilter());

    const auto device = plugEcho (controllerDescription (0x7A3C, 0x6109));
    EXPECT_TRUE (
        ulktest::pumpUntil ([&] { return countSeen (target, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED) == 1; }));
    const auto arrivals = seen (target, WM_DEVICECHANGE);
    ASSERT_EQ (arrivals.size(), 2u) << "the interface event, then DBT_DEVNODES_CHANGED";
    EXPECT_EQ (arrivals[0].wParam, (WPARAM) DBT_DEVICEARRIVAL);
    EXPECT_EQ (arrivals[0].thread, std::this_thread::get_id());
    EXPECT_TRUE (arrivals[1].record.empty()) << "DBT_DEVNODES_CHANGED has no record";
    EXPECT_GE (simwin::defaultProcessed (WM_DEVICECHANGE, DBT_DEVNODES_CHANGED), 1u);

    const auto& bytes = arrivals[0].record;
    ASSERT_GE (bytes.size(), sizeof (DEV_BROADCAST_DEVICEINTERFACE_W));
    const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*> (bytes.data());
    const std::wstring name (record->dbcc_name);
    EXPECT_EQ (record->dbcc_devicetype, (DWORD) DBT_DEVTYP_DEVICEINTERFACE);
    EXPECT_TRUE (record->dbcc_classguid == hidFilter().dbcc_classguid);
    EXPECT_EQ (record->dbcc_size,
               offsetof (DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (name.size() + 1) * sizeof (wchar_t));
    EXPECT_EQ (name, simwin::notifiedPathOf (device));
    EXPECT_EQ (name,
               L"\\\\?\\HID#VID_7A3C&PID_6109#8&00000002&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    EXPECT_EQ (_wcsicmp (name.c_str(), simwin::interfacePathOf (device).c_str()), 0);

    bus().unplug (device);
    bus().unplug (before);
    EXPECT_TRUE (
        ulktest::pumpUntil ([&] { return countSeen (target, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED) == 3; }));
    const auto removals = seen (target, WM_DEVICECHANGE);
    ASSERT_EQ (removals.size(), 6u);
    EXPECT_EQ (removals[2].wParam, (WPARAM) DBT_DEVICEREMOVECOMPLETE);
    EXPECT_EQ (
        std::wstring (
            reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*> (removals[2].record.data())->dbcc_name),
        name);
    EXPECT_EQ (removals[4].wParam, (WPARAM) DBT_DEVICEREMOVECOMPLETE)
        << "the removal of a device present before the registration is heard too";
    EXPECT_EQ (countSeen (target, WM_DEVICECHANGE, DBT_DEVICEARRIVAL), 1u)
        << "the device present before the registration brought no arrival";

    UnregisterDeviceNotification (notifications.back());
    notifications.pop_back();
    plugEcho();
    EXPECT_TRUE (
        ulktest::pumpUntil ([&] { return countSeen (target, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED) == 4; }));
    EXPECT_EQ (countSeen (target, WM_DEVICECHANGE, DBT_DEVICEARRIVAL), 1u)
        << "no interface event after unregistering";
}

TEST_F (Windows, OnlyRegistrationsForTheHidClassHearOfItsInterfaces)
{
    HWND hid = window();
    HWND other = window();
    HWND all = window();
    HWND messageOnly = window (HWND_MESSAGE);
    HWND unregistered = window();
    HWND child = window (unregistered);
    registerFor (hid, hidFilter());
    registerFor (other, filterFor (otherInterfaceClass));
    registerFor (all, filterFor (otherInterfaceClass), DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
    registerFor (messageOnly, hidFilter());

    plugEcho();
    EXPECT_TRUE (ulktest::pumpUntil (
        [&]
        {
            return countSeen (unregistered, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED) == 1 &&
                   countSeen (messageOnly, WM_DEVICECHANGE, DBT_DEVICEARRIVAL) == 1;
        }));

    struct Expected
    {
        const char* what;
        HWND window;
        std::size_t arrivals, nodeChanges;
    };
    const Expected cases[] = {
        { "registered for HID", hid, 1, 1 },
        { "registered for another class", other, 0, 1 },
        { "registered for every class", all, 1, 1 },
        { "message-only, registered for HID", messageOnly, 1, 0 },
        { "not registered", unregistered, 0, 1 },
        { "a child", child, 0, 0 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        EXPECT_EQ (countSeen (c.window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL), c.arrivals);
        EXPECT_EQ (countSeen (c.window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED), c.nodeChanges);
    }
}

TEST_F (Windows, BroadcastsReachEveryTopLevelWindow)
{
    HWND topLevel = window();
    HWND messageOnly = window (HWND_MESSAGE);
    HWND child = window (topLevel);
    WorkerWindow worker;

    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof (volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << 4;

    // The message thread's windows are called at once, the worker's while the
    // broadcast waits; either way it is done when the call returns.
    EXPECT_EQ (
        simwin::broadcastDeviceChange (DBT_DEVICEARRIVAL, reinterpret_cast<DEV_BROADCAST_HDR*> (&volume)), 2);
    for (HWND w : { topLevel, worker.window() })
    {
        const auto got = seen (w, WM_DEVICECHANGE);
        ASSERT_EQ (got.size(), 1u);
        ASSERT_EQ (got.front().record.size(), sizeof (volume));
        const auto* copy = reinterpret_cast<const DEV_BROADCAST_VOLUME*> (got.front().record.data());
        EXPECT_EQ (copy->dbcv_devicetype, (DWORD) DBT_DEVTYP_VOLUME);
        EXPECT_EQ (copy->dbcv_unitmask, 1u << 4);
    }
    EXPECT_NE (seen (worker.window(), WM_DEVICECHANGE).front().thread, std::this_thread::get_id());
    EXPECT_TRUE (seen (messageOnly, WM_DEVICECHANGE).empty());
    EXPECT_TRUE (seen (child, WM_DEVICECHANGE).empty());

    const auto defaultsBefore = simwin::defaultProcessed (WM_DEVICECHANGE, DBT_DEVNODES_CHANGED);
    EXPECT_EQ (simwin::broadcastDeviceChange (DBT_DEVNODES_CHANGED, nullptr), 2);
    EXPECT_EQ (countSeen (topLevel, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED), 1u);
    EXPECT_EQ (simwin::defaultProcessed (WM_DEVICECHANGE, DBT_DEVNODES_CHANGED), defaultsBefore + 2);
}

TEST_F (Windows, RegistrationsAreChecked)
{
    HWND target = window();
    auto good = hidFilter();
    auto small = hidFilter();
    small.dbcc_size = 28;
    auto volumeType = hidFilter();
    volumeType.dbcc_devicetype = DBT_DEVTYP_VOLUME;

    struct Case
    {
        const char* what;
        HANDLE recipient;
        void* filter;
        DWORD flags;
        DWORD error;
    };
    const Case cases[] = {
        { "a service handle", target, &good, DEVICE_NOTIFY_SERVICE_HANDLE, ERROR_INVALID_PARAMETER },
        { "no filter", target, nullptr, DEVICE_NOTIFY_WINDOW_HANDLE, ERROR_INVALID_PARAMETER },
        { "a filter too small", target, &small, DEVICE_NOTIFY_WINDOW_HANDLE, ERROR_INVALID_DATA },
        { "a filter of another type", target, &volumeType, DEVICE_NOTIFY_WINDOW_HANDLE, ERROR_INVALID_DATA },
        { "no window", (HANDLE) (ULONG_PTR) 0x1234, &good, DEVICE_NOTIFY_WINDOW_HANDLE,
          ERROR_INVALID_WINDOW_HANDLE },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        SetLastError (0);
        EXPECT_EQ (RegisterDeviceNotificationW (c.recipient, c.filter, c.flags), nullptr);
        EXPECT_EQ (GetLastError(), c.error);
    }

    HDEVNOTIFY notification = RegisterDeviceNotificationW (target, &good, DEVICE_NOTIFY_WINDOW_HANDLE);
    EXPECT_TRUE (UnregisterDeviceNotification (notification));
    EXPECT_FALSE (UnregisterDeviceNotification (notification));
    expectInvalidHandleUses (1);
}

TEST_F (Windows, FaultsStrikeTheWindowCalls)
{
    HWND target = window();
    struct Case
    {
        const char* what;
        simwin::Call call;
        std::function<DWORD()> run; ///< 0 when the call worked
    };
    const Case cases[] = {
        { "RegisterClassExW", simwin::Call::registerClassEx,
          []
          {
              WNDCLASSEXW c{};
              c.cbSize = sizeof (c);
              c.lpfnWndProc = recordingProcedure;
              c.lpszClassName = L"SimWin32FaultWindow";
              return RegisterClassExW (&c) != 0 ? (UnregisterClassW (c.lpszClassName, nullptr), 0u)
                                                : GetLastError();
          } },
        { "CreateWindowExW", simwin::Call::createWindowEx,
          []
          {
              HWND w = makeWindow();
              return w != nullptr ? (DestroyWindow (w), 0u) : GetLastError();
          } },
        { "RegisterDeviceNotificationW", simwin::Call::registerDeviceNotification,
          [target]
          {
              auto filter = hidFilter();
              HDEVNOTIFY n = RegisterDeviceNotificationW (target, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
              return n != nullptr ? (UnregisterDeviceNotification (n), 0u) : GetLastError();
          } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        simwin::injectFault (c.call, { 0, 1, 0, 0 });
        EXPECT_EQ (c.run(), (DWORD) ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ (c.run(), 0u);
        simwin::injectFault (c.call, { 0, -1, 0, ERROR_ACCESS_DENIED });
        EXPECT_EQ (c.run(), (DWORD) ERROR_ACCESS_DENIED);
        simwin::clearFaults();
        EXPECT_EQ (c.run(), 0u);
    }
}
} // namespace
