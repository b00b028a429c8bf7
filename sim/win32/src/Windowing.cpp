// Windows and messages of the simulated Windows platform: window classes,
// windows owned by their creating thread, one message queue per thread with
// sent messages (run when the thread retrieves messages) ahead of posted
// ones, device notification registrations and the broadcasts that reach
// them, and the message box with its modal loop.  One lock guards all of it;
// window procedures and the box's knob and window run without it.

#include "IoInternal.h"

#include <dbt.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include <sys/eventfd.h>
#include <unistd.h>

namespace simwin::detail
{
namespace
{
struct Queue;

/** A message sent to a window of another thread (or by the system). */
struct SentMessage
{
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    /** The record lParam points at when the system made it; freed when the
        window procedure returns. */
    std::unique_ptr<unsigned char[]> record;
    /** Null for a message whose sender does not wait. */
    std::shared_ptr<Queue> sender;
    bool done = false;
    LRESULT result = 0;
};

struct Queue
{
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::deque<MSG> posted;
    bool quitPosted = false;
    int quitCode = 0;
    /** Notified when a message comes in and when a message this thread sent
        is done. */
    std::condition_variable wake;
    int eventFd = -1;
    bool ended = false;
};

struct WindowClass
{
    ATOM atom = 0;
    std::wstring name;
    WNDPROC procedure = nullptr;
    int windows = 0;
};

struct Window
{
    HWND handle = nullptr;
    WNDPROC procedure = nullptr;
    std::shared_ptr<Queue> owner;
    std::shared_ptr<WindowClass> windowClass;
    /** Reached by broadcasts: no parent, not message-only. */
    bool topLevel = false;
    bool destroying = false;
};

/** A message box while it is open. */
struct OpenBox
{
    /** The button that closed it; 0 while it is open.  Written under the
        windowing lock, read by its own thread. */
    int pressed = 0;
};

struct Registration
{
    HWND window;
    bool allClasses;
    GUID interfaceClass;
};

struct Windowing
{
    std::mutex lock;
    std::map<std::uintptr_t, std::shared_ptr<Window>> windows;
    std::vector<std::shared_ptr<WindowClass>> classes;
    std::map<std::uintptr_t, Registration> registrations;
    std::map<std::pair<UINT, WPARAM>, std::size_t> defaults;
    std::uintptr_t nextWindow = 0x10010;
    ATOM nextAtom = 0xC001;
    std::uintptr_t nextRegistration = 0x7A0010;

    std::mutex handlerLock;
    std::vector<MessageBoxRecord> boxes;
    MessageBoxHandler boxHandler;
    MessageBoxUi boxUi;
    WindowCreationHook creationHook;
    /** Boxes open now, each with the queue of its thread. */
    std::vector<std::pair<std::shared_ptr<OpenBox>, std::shared_ptr<Queue>>> openBoxes;
};

/** Never destroyed: threads end, and take their windows with them, after the
    process's static objects have gone. */
Windowing& windowing()
{
    static auto* w = new Windowing();
    return *w;
}

/** The calling thread's queue; when the thread ends, its windows go. */
struct ThreadQueue
{
    ~ThreadQueue();
    std::shared_ptr<Queue> queue;
};

thread_local ThreadQueue current;

Queue& currentQueue()
{
    if (current.queue == nullptr)
        current.queue = std::make_shared<Queue>();
    return *current.queue;
}

// The functions below want windowing().lock held.

void wakeQueue (Queue& queue)
{
    queue.wake.notify_all();
    if (queue.eventFd >= 0)
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = write (queue.eventFd, &one, sizeof (one));
    }
}

std::shared_ptr<Window> windowOf (HWND handle)
{
    auto& w = windowing();
    const auto found = w.windows.find ((std::uintptr_t) handle);
    return found != w.windows.end() ? found->second : nullptr;
}

std::shared_ptr<WindowClass> classNamed (LPCWSTR name)
{
    for (auto& c : windowing().classes)
    {
        if (((ULONG_PTR) name >> 16) == 0 ? c->atom == (ATOM) (ULONG_PTR) name
                                          : equalIgnoringCase (c->name, name))
            return c;
    }
    return nullptr;
}

/** A sent message that will never run: its sender stops waiting. */
void drop (SentMessage& message)
{
    message.done = true;
    message.record.reset();
    if (message.sender != nullptr)
        message.sender->wake.notify_all();
}

void removeWindow (const std::shared_ptr<Window>& window)
{
    auto& w = windowing();
    if (w.windows.erase ((std::uintptr_t) window->handle) == 0)
        return;
    --window->windowClass->windows;

    auto& queue = *window->owner;
    for (auto it = queue.sent.begin(); it != queue.sent.end();)
    {
        if ((*it)->window == window->handle)
        {
            drop (**it);
            it = queue.sent.erase (it);
        }
        else
        {
            ++it;
        }
    }
    queue.posted.erase (std::remove_if (queue.posted.begin(), queue.posted.end(),
                                        [&] (const MSG& m) { return m.hwnd == window->handle; }),
                        queue.posted.end());
}

void queueSent (const std::shared_ptr<Window>& window, std::shared_ptr<SentMessage> message)
{
    window->owner->sent.push_back (std::move (message));
    wakeQueue (*window->owner);
}

std::unique_ptr<unsigned char[]> copyOf (const void* record, std::size_t size)
{
    std::unique_ptr<unsigned char[]> copy (new unsigned char[size]);
    std::memcpy (copy.get(), record, size);
    return copy;
}

//==============================================================================
// Without the lock

/** Runs the messages sent to the calling thread's windows, oldest first. */
void runSentMessages()
{
    auto& w = windowing();
    Queue& me = currentQueue();
    for (;;)
    {
        std::shared_ptr<SentMessage> message;
        WNDPROC procedure = nullptr;
        {
            std::lock_guard<std::mutex> guard (w.lock);
            if (me.sent.empty())
                return;
            message = me.sent.front();
            me.sent.pop_front();
            if (auto window = windowOf (message->window); window != nullptr && window->owner.get() == &me)
                procedure = window->procedure;
        }

        LRESULT result = 0;
        if (procedure != nullptr)
            result = procedure (message->window, message->message, message->wParam, message->lParam);
        message->record.reset();

        std::lock_guard<std::mutex> guard (w.lock);
        message->result = result;
        message->done = true;
        if (message->sender != nullptr)
            message->sender->wake.notify_all();
    }
}

/** Waits until every message is done, running the messages that other
    threads send to this one meanwhile, as a waiting SendMessage does. */
void waitUntilDone (const std::vector<std::shared_ptr<SentMessage>>& messages)
{
    auto& w = windowing();
    Queue& me = currentQueue();
    const auto allDone = [&]
    { return std::all_of (messages.begin(), messages.end(), [] (const auto& m) { return m->done; }); };
    for (;;)
    {
        {
            std::unique_lock<std::mutex> held (w.lock);
            me.wake.wait (held, [&] { return allDone() || !me.sent.empty(); });
            if (allDone())
                return;
        }
        runSentMessages();
    }
}

LRESULT callProcedure (const std::shared_ptr<Window>& window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return window->procedure (window->handle, message, wParam, lParam);
}

bool messageMatches (const MSG& m, HWND filter, UINT first, UINT last)
{
    if (filter == (HWND) (LONG_PTR) -1 ? m.hwnd != nullptr : filter != nullptr && m.hwnd != filter)
        return false;
    return (first == 0 && last == 0) || (m.message >= first && m.message <= last);
}

/** For GetMessageW and PeekMessageW: a filter window must be the thread's own. */
bool filterIsValid (HWND filter)
{
    if (filter == nullptr || filter == (HWND) (LONG_PTR) -1)
        return true;
    std::lock_guard<std::mutex> guard (windowing().lock);
    const auto window = windowOf (filter);
    return window != nullptr && window->owner.get() == &currentQueue();
}

/** Takes a matching posted message, or the quit, into *msg. */
bool takePosted (Queue& queue, LPMSG msg, HWND filter, UINT first, UINT last, bool remove)
{
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it)
    {
        if (messageMatches (*it, filter, first, last))
        {
            *msg = *it;
            if (remove)
                queue.posted.erase (it);
            return true;
        }
    }
    if (queue.quitPosted)
    {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = (WPARAM) queue.quitCode;
        if (remove)
            queue.quitPosted = false;
        return true;
    }
    return false;
}

/** Dispatches up to count posted messages of the calling thread, oldest
    first, running the sent messages that come meanwhile after each. */
void dispatchPosted (std::size_t count)
{
    auto& w = windowing();
    Queue& me = currentQueue();
    for (std::size_t i = 0; i < count; ++i)
    {
        MSG msg;
        {
            std::lock_guard<std::mutex> guard (w.lock);
            if (me.posted.empty())
                break;
            msg = me.posted.front();
            me.posted.pop_front();
        }
        DispatchMessageW (&msg);
        runSentMessages();
    }
}

ThreadQueue::~ThreadQueue()
{
    if (queue == nullptr)
        return;
    auto& w = windowing();
    std::lock_guard<std::mutex> guard (w.lock);
    queue->ended = true;
    std::vector<std::shared_ptr<Window>> mine;
    for (auto& [handle, window] : w.windows)
        if (window->owner == queue)
            mine.push_back (window);
    for (auto& window : mine)
        removeWindow (window);
    for (auto& message : queue->sent)
        drop (*message);
    queue->sent.clear();
    queue->posted.clear();
    if (queue->eventFd >= 0)
        close (queue->eventFd);
    queue->eventFd = -1;
}
} // namespace

void deviceInterfaceChanged (bool arrival, const std::wstring& notifiedPath)
{
    auto& w = windowing();
    std::lock_guard<std::mutex> guard (w.lock);

    const std::size_t recordSize =
        offsetof (DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (notifiedPath.size() + 1) * sizeof (wchar_t);
    for (auto& [id, registration] : w.registrations)
    {
        const auto window = windowOf (registration.window);
        if (window == nullptr ||
            (!registration.allClasses && registration.interfaceClass != hidInterfaceClass))
            continue;

        auto message = std::make_shared<SentMessage>();
        message->window = window->handle;
        message->message = WM_DEVICECHANGE;
        message->wParam = arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
        message->record.reset (new unsigned char[recordSize]);
        auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*> (message->record.get());
        record->dbcc_size = (DWORD) recordSize;
        record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        record->dbcc_reserved = 0;
        record->dbcc_classguid = hidInterfaceClass;
        std::wmemcpy (record->dbcc_name, notifiedPath.c_str(), notifiedPath.size() + 1);
        message->lParam = (LPARAM) record;
        queueSent (window, std::move (message));
    }

    for (auto& [handle, window] : w.windows)
    {
        if (!window->topLevel)
            continue;
        auto message = std::make_shared<SentMessage>();
        message->window = window->handle;
        message->message = WM_DEVICECHANGE;
        message->wParam = DBT_DEVNODES_CHANGED;
        queueSent (window, std::move (message));
    }
}
} // namespace simwin::detail

using namespace simwin::detail;
using simwin::MessageBoxHandler;
using simwin::MessageBoxRecord;
using simwin::MessageBoxUi;
using simwin::WindowCreationHook;

//==============================================================================
// The test API's share

namespace simwin
{
int attachThreadQueue()
{
    Queue& me = currentQueue();
    std::lock_guard<std::mutex> guard (windowing().lock);
    if (me.eventFd < 0)
    {
        me.eventFd = eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (!me.sent.empty() || !me.posted.empty())
            wakeQueue (me);
    }
    return me.eventFd;
}

void serviceThreadQueue()
{
    auto& w = windowing();
    Queue& me = currentQueue();
    std::size_t postedBefore = 0;
    {
        std::lock_guard<std::mutex> guard (w.lock);
        if (me.eventFd >= 0)
        {
            std::uint64_t count = 0;
            [[maybe_unused]] auto got = read (me.eventFd, &count, sizeof (count));
        }
        postedBefore = me.posted.size();
    }

    runSentMessages();
    dispatchPosted (postedBefore);
}

void detachThreadQueue()
{
    Queue& me = currentQueue();
    std::lock_guard<std::mutex> guard (windowing().lock);
    if (me.eventFd >= 0)
        close (me.eventFd);
    me.eventFd = -1;
}

void setWindowCreationHook (WindowCreationHook hook)
{
    auto& w = windowing();
    std::lock_guard<std::mutex> guard (w.handlerLock);
    w.creationHook = std::move (hook);
}

int broadcastDeviceChange (WPARAM event, const DEV_BROADCAST_HDR* record)
{
    auto& w = windowing();
    Queue& me = currentQueue();
    std::vector<std::shared_ptr<Window>> targets;
    std::vector<std::shared_ptr<SentMessage>> waiting;
    {
        std::lock_guard<std::mutex> guard (w.lock);
        for (auto& [handle, window] : w.windows)
            if (window->topLevel)
                targets.push_back (window);
        for (auto& window : targets)
        {
            if (window->owner.get() == &me)
                continue;
            auto message = std::make_shared<SentMessage>();
            message->window = window->handle;
            message->message = WM_DEVICECHANGE;
            message->wParam = event;
            if (record != nullptr)
            {
                message->record = copyOf (record, record->dbch_size);
                message->lParam = (LPARAM) message->record.get();
            }
            message->sender = current.queue;
            waiting.push_back (message);
            queueSent (window, std::move (message));
        }
    }

    // The calling thread's own windows are called directly, as SendMessage does.
    for (auto& window : targets)
    {
        if (window->owner.get() != &me)
            continue;
        {
            std::lock_guard<std::mutex> guard (w.lock);
            if (windowOf (window->handle) == nullptr)
                continue;
        }
        std::unique_ptr<unsigned char[]> copy;
        if (record != nullptr)
            copy = copyOf (record, record->dbch_size);
        callProcedure (window, WM_DEVICECHANGE, event, (LPARAM) copy.get());
    }

    waitUntilDone (waiting);
    return (int) targets.size();
}

void setMessageBoxUi (MessageBoxUi ui)
{
    auto& w = windowing();
    std::lock_guard<std::mutex> guard (w.handlerLock);
    w.boxUi = std::move (ui);
}

std::size_t openMessageBoxes()
{
    auto& w = windowing();
    std::lock_guard<std::mutex> guard (w.lock);
    return w.openBoxes.size();
}

void pressOkOnOpenBoxes()
{
    auto& w = windowing();
    std::lock_guard<std::mutex> guard (w.lock);
    for (auto& [box, queue] : w.openBoxes)
    {
        if (box->pressed == 0)
            box->pressed = IDOK;
        wakeQueue (*queue);
    }
}

void setMessageBoxHandler (MessageBoxHandler handler)
{
    auto& w = windowing();
    std::lock_guard<std::mutex> guard (w.handlerLock);
    w.boxHandler = std::move (handler);
}

std::vector<MessageBoxRecord> messageBoxes()
{
    auto& w = windowing();
    std::lock_guard<std::mutex> guard (w.handlerLock);
    return w.boxes;
}

void clearMessageBoxes()
{
    auto& w = windowing();
    std::lock_guard<std::mutex> guard (w.handlerLock);
    w.boxes.clear();
}

std::size_t liveWindows()
{
    std::lock_guard<std::mutex> guard (windowing().lock);
    return windowing().windows.size();
}

std::size_t liveWindowClasses()
{
    std::lock_guard<std::mutex> guard (windowing().lock);
    return windowing().classes.size();
}

std::size_t liveDeviceNotifications()
{
    std::lock_guard<std::mutex> guard (windowing().lock);
    return windowing().registrations.size();
}

std::size_t defaultProcessed (UINT message, WPARAM wParam)
{
    std::lock_guard<std::mutex> guard (windowing().lock);
    const auto found = windowing().defaults.find ({ message, wParam });
    return found != windowing().defaults.end() ? found->second : 0;
}
} // namespace simwin

//==============================================================================
// Win32

ATOM WINAPI RegisterClassExW (const WNDCLASSEXW* lpWndClass)
{
    DWORD code = 0;
    if (faultStrikes (simwin::Call::registerClassEx, 0, ERROR_NOT_ENOUGH_MEMORY, code))
    {
        setLastError (code);
        return 0;
    }
    if (lpWndClass == nullptr || lpWndClass->cbSize != sizeof (WNDCLASSEXW) ||
        lpWndClass->lpfnWndProc == nullptr || lpWndClass->lpszClassName == nullptr ||
        ((ULONG_PTR) lpWndClass->lpszClassName >> 16) == 0)
    {
        setLastError (ERROR_INVALID_PARAMETER);
        return 0;
    }

    auto& w = windowing();
    std::lock_guard<std::mutex> guard (w.lock);
    if (classNamed (lpWndClass->lpszClassName) != nullptr)
    {
        setLastError (ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto windowClass = std::make_shared<WindowClass>();
    windowClass->atom = w.nextAtom++;
    windowClass->name = lpWndClass->lpszClassName;
    windowClass->procedure = lpWndClass->lpfnWndProc;
    w.classes.push_back (windowClass);
    return windowClass->atom;
}

BOOL WINAPI UnregisterClassW (LPCWSTR lpClassName, HINSTANCE)
{
    auto& w = windowing();
    std::lock_guard<std::mutex> guard (w.lock);
    const auto windowClass = classNamed (lpClassName);
    if (windowClass == nullptr)
    {
        setLastError (ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (windowClass->windows > 0)
    {
        setLastError (ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    w.classes.erase (std::find (w.classes.begin(), w.classes.end(), windowClass));
    return TRUE;
}

HWND WINAPI CreateWindowExW (DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X,
                             int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                             HINSTANCE hInstance, LPVOID lpParam)
{
    DWORD code = 0;
    if (faultStrikes (simwin::Call::createWindowEx, 0, ERROR_NOT_ENOUGH_MEMORY, code))
    {
        setLastError (code);
        return nullptr;
    }

    auto& w = windowing();
    WindowCreationHook hook;
    {
        std::lock_guard<std::mutex> guard (w.handlerLock);
        hook = w.creationHook;
    }
    if (hook != nullptr)
        hook();

    currentQueue(); // the window's owner
    auto window = std::make_shared<Window>();
    {
        std::lock_guard<std::mutex> guard (w.lock);
        window->windowClass = classNamed (lpClassName);
        if (window->windowClass == nullptr)
        {
            setLastError (ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (hWndParent != nullptr && hWndParent != HWND_MESSAGE && windowOf (hWndParent) == nullptr)
        {
            setLastError (ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        window->handle = (HWND) w.nextWindow;
        w.nextWindow += 2;
        window->procedure = window->windowClass->procedure;
        window->owner = current.queue;
        window->topLevel = hWndParent == nullptr;
        ++window->windowClass->windows;
        w.windows.emplace ((std::uintptr_t) window->handle, window);
    }

    CREATESTRUCTW create{ lpParam, hInstance, hMenu,          hWndParent,   nHeight,     nWidth,
                          Y,       X,         (LONG) dwStyle, lpWindowName, lpClassName, dwExStyle };
    if (callProcedure (window, WM_NCCREATE, 0, (LPARAM) &create) == 0)
    {
        callProcedure (window, WM_NCDESTROY, 0, 0);
        std::lock_guard<std::mutex> guard (w.lock);
        removeWindow (window);
        return nullptr;
    }
    if (callProcedure (window, WM_CREATE, 0, (LPARAM) &create) == -1)
    {
        DestroyWindow (window->handle);
        return nullptr;
    }
    return window->handle;
}

BOOL WINAPI DestroyWindow (HWND hWnd)
{
    auto& w = windowing();
    std::shared_ptr<Window> window;
    {
        std::lock_guard<std::mutex> guard (w.lock);
        window = windowOf (hWnd);
        if (window == nullptr)
        {
            setLastError (ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (window->owner != current.queue)
        {
            setLastError (ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (window->destroying)
            return TRUE;
        window->destroying = true;
    }

    callProcedure (window, WM_DESTROY, 0, 0);
    callProcedure (window, WM_NCDESTROY, 0, 0);

    std::lock_guard<std::mutex> guard (w.lock);
    removeWindow (window);
    return TRUE;
}

BOOL WINAPI IsWindow (HWND hWnd)
{
    std::lock_guard<std::mutex> guard (windowing().lock);
    return windowOf (hWnd) != nullptr ? TRUE : FALSE;
}

LRESULT WINAPI DefWindowProcW (HWND hWnd, UINT Msg, WPARAM wParam, LPARAM)
{
    {
        std::lock_guard<std::mutex> guard (windowing().lock);
        ++windowing().defaults[{ Msg, wParam }];
    }
    switch (Msg)
    {
        case WM_NCCREATE:
            return TRUE;
        case WM_CLOSE:
            DestroyWindow (hWnd);
            return 0;
        default:
            return 0;
    }
}

BOOL WINAPI GetMessageW (LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    if (lpMsg == nullptr || !filterIsValid (hWnd))
    {
        setLastError (lpMsg == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    auto& w = windowing();
    Queue& me = currentQueue();
    for (;;)
    {
        runSentMessages();
        std::unique_lock<std::mutex> held (w.lock);
        if (!me.sent.empty())
            continue;
        if (takePosted (me, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true))
            return lpMsg->message != WM_QUIT ? TRUE : FALSE;
        // Anything new wakes the queue; the loop then looks again.
        me.wake.wait (held);
    }
}

BOOL WINAPI PeekMessageW (LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
    if (lpMsg == nullptr || !filterIsValid (hWnd))
    {
        setLastError (lpMsg == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    runSentMessages();
    std::lock_guard<std::mutex> guard (windowing().lock);
    return takePosted (currentQueue(), lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax,
                       (wRemoveMsg & PM_REMOVE) != 0)
               ? TRUE
               : FALSE;
}

BOOL WINAPI TranslateMessage (const MSG*)
{
    return FALSE;
}

LRESULT WINAPI DispatchMessageW (const MSG* lpMsg)
{
    if (lpMsg == nullptr || lpMsg->hwnd == nullptr)
        return 0;
    std::shared_ptr<Window> window;
    {
        std::lock_guard<std::mutex> guard (windowing().lock);
        window = windowOf (lpMsg->hwnd);
        if (window == nullptr || window->owner != current.queue)
            return 0;
    }
    return callProcedure (window, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT WINAPI SendMessageW (HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    auto& w = windowing();
    Queue& me = currentQueue();
    std::shared_ptr<SentMessage> message;
    std::shared_ptr<Window> window;
    {
        std::lock_guard<std::mutex> guard (w.lock);
        window = windowOf (hWnd);
        if (window == nullptr)
        {
            setLastError (ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (window->owner.get() != &me)
        {
            message = std::make_shared<SentMessage>();
            message->window = hWnd;
            message->message = Msg;
            message->wParam = wParam;
            message->lParam = lParam;
            message->sender = current.queue;
            queueSent (window, message);
        }
    }
    if (message == nullptr)
        return callProcedure (window, Msg, wParam, lParam);
    waitUntilDone ({ message });
    return message->result;
}

BOOL WINAPI PostMessageW (HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    auto& w = windowing();
    Queue& me = currentQueue();
    std::lock_guard<std::mutex> guard (w.lock);
    Queue* target = &me;
    if (hWnd != nullptr)
    {
        const auto window = windowOf (hWnd);
        if (window == nullptr)
        {
            setLastError (ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        target = window->owner.get();
    }
    MSG msg{};
    msg.hwnd = hWnd;
    msg.message = Msg;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    target->posted.push_back (msg);
    wakeQueue (*target);
    return TRUE;
}

void WINAPI PostQuitMessage (int nExitCode)
{
    Queue& me = currentQueue();
    std::lock_guard<std::mutex> guard (windowing().lock);
    me.quitPosted = true;
    me.quitCode = nExitCode;
    wakeQueue (me);
}

HDEVNOTIFY WINAPI RegisterDeviceNotificationW (HANDLE hRecipient, LPVOID NotificationFilter, DWORD Flags)
{
    ensureDevicesKnown();
    DWORD code = 0;
    if (faultStrikes (simwin::Call::registerDeviceNotification, 0, ERROR_NOT_ENOUGH_MEMORY, code))
    {
        setLastError (code);
        return nullptr;
    }
    // Service handles and handle filters (DBT_DEVTYP_HANDLE) are not supported.
    const auto* filter = static_cast<const DEV_BROADCAST_HDR*> (NotificationFilter);
    if ((Flags & ~(DWORD) DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) != DEVICE_NOTIFY_WINDOW_HANDLE ||
        filter == nullptr)
    {
        setLastError (ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (filter->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        filter->dbch_size < sizeof (DEV_BROADCAST_DEVICEINTERFACE_W))
    {
        setLastError (ERROR_INVALID_DATA);
        return nullptr;
    }

    auto& w = windowing();
    std::lock_guard<std::mutex> guard (w.lock);
    if (windowOf ((HWND) hRecipient) == nullptr)
    {
        setLastError (ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    const auto* interfaceFilter = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*> (NotificationFilter);
    const auto id = w.nextRegistration;
    w.nextRegistration += 8;
    w.registrations.emplace (id, Registration{ (HWND) hRecipient,
                                               (Flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) != 0,
                                               interfaceFilter->dbcc_classguid });
    return (HDEVNOTIFY) id;
}

BOOL WINAPI UnregisterDeviceNotification (HDEVNOTIFY Handle)
{
    auto& w = windowing();
    std::lock_guard<std::mutex> guard (w.lock);
    if (w.registrations.erase ((std::uintptr_t) Handle) == 0)
    {
        noteInvalidHandle (Handle);
        setLastError (ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

namespace
{
/** How long a round of a box's modal loop waits for messages at most. */
constexpr int boxRoundMs = 5;

/** One round of a box's own modal loop on a thread that no foreign event
    loop serves: runs the sent messages, dispatches the posted ones that were
    waiting (a posted WM_QUIT stays for the thread's own loop), then waits up
    to ms for more or for the box to be closed. */
void runOwnBoxRound (const OpenBox& box, int ms)
{
    auto& w = windowing();
    Queue& me = currentQueue();
    runSentMessages();
    std::size_t posted = 0;
    {
        std::lock_guard<std::mutex> guard (w.lock);
        posted = me.posted.size();
    }
    dispatchPosted (posted);

    std::unique_lock<std::mutex> held (w.lock);
    me.wake.wait_for (held, std::chrono::milliseconds (ms),
                      [&] { return box.pressed != 0 || !me.sent.empty() || !me.posted.empty(); });
}
} // namespace

int WINAPI MessageBoxA (HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    if (hWnd != nullptr && !IsWindow (hWnd))
    {
        setLastError (ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    // Without a caption Windows titles the box "Error".
    const MessageBoxRecord record{ hWnd, lpText != nullptr ? lpText : "",
                                   lpCaption != nullptr ? lpCaption : "Error", uType,
                                   std::this_thread::get_id() };

    auto& w = windowing();
    currentQueue();
    const auto queue = current.queue;
    const auto box = std::make_shared<OpenBox>();
    MessageBoxHandler handler;
    MessageBoxUi ui;
    {
        std::lock_guard<std::mutex> guard (w.handlerLock);
        w.boxes.push_back (record);
        handler = w.boxHandler;
        ui = w.boxUi;
        std::lock_guard<std::mutex> windowsGuard (w.lock);
        w.openBoxes.emplace_back (box, queue);
    }

    // Its OK button, from any thread: the box's loop ends after its round.
    const std::weak_ptr<OpenBox> weakBox = box;
    const std::weak_ptr<Queue> weakQueue = queue;
    const auto pressOk = [weakBox, weakQueue]
    {
        auto& windows = windowing();
        std::lock_guard<std::mutex> guard (windows.lock);
        const auto open = weakBox.lock();
        const auto owner = weakQueue.lock();
        if (open == nullptr || open->pressed != 0)
            return;
        open->pressed = IDOK;
        if (owner != nullptr)
            wakeQueue (*owner);
    };
    std::function<void()> takeDown;
    if (ui.show != nullptr)
        takeDown = ui.show (record, pressOk);

    // The modal loop: it dispatches the thread's messages until the box is
    // closed, by its button or by the knob.
    int result = 0;
    for (;;)
    {
        if (ui.runLoop == nullptr || !ui.runLoop (boxRoundMs))
            runOwnBoxRound (*box, boxRoundMs);
        {
            std::lock_guard<std::mutex> guard (w.lock);
            result = box->pressed;
        }
        if (result == 0 && handler != nullptr)
            result = handler (record);
        if (result != 0)
            break;
    }

    if (takeDown != nullptr)
        takeDown();
    std::lock_guard<std::mutex> guard (w.handlerLock);
    std::lock_guard<std::mutex> windowsGuard (w.lock);
    w.openBoxes.erase (std::find_if (w.openBoxes.begin(), w.openBoxes.end(),
                                     [&] (const auto& entry) { return entry.first == box; }));
    return result;
}
