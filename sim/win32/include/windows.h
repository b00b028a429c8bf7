#pragma once

// The Win32 base of the simulated Windows platform: scalar and handle types,
// last-error codes, kernel objects (events, waits, file handles and
// overlapped I/O on HID device interfaces), heap blocks, the process command
// line, windows and their per-thread message queues, and the message box.
// Sizes follow 64-bit Windows (DWORD, LONG and ULONG are 32 bits, pointers
// and the *_PTR types 64), except that WCHAR is Linux's 32-bit wchar_t.
//
// Only what the updater's Windows layer and its tests need is here; see
// sim_win32/Win32StandIn.h for where the stand-in differs from Windows.

#ifndef _WINDOWS_
 #define _WINDOWS_
#endif

#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <sys/cdefs.h>
#include <wchar.h>

#define WINAPI
#define WINAPIV
#define APIENTRY
#define CALLBACK
#define NTAPI
#define CONST const
#define VOID void

__BEGIN_DECLS

//==============================================================================
// Scalar types

typedef int BOOL;
typedef BOOL WINBOOL;
typedef unsigned char BYTE;
typedef unsigned char BOOLEAN;
typedef unsigned char UCHAR;
typedef char CHAR;
typedef short SHORT;
typedef unsigned short USHORT;
typedef unsigned short WORD;
typedef int INT;
typedef unsigned int UINT;
typedef int LONG;
typedef unsigned int ULONG;
typedef unsigned int DWORD;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef ULONG_PTR SIZE_T;
typedef wchar_t WCHAR;
typedef WORD ATOM;

typedef BOOL* PBOOL;
typedef BOOL* LPBOOL;
typedef BYTE* PBYTE;
typedef BYTE* LPBYTE;
typedef UCHAR* PUCHAR;
typedef CHAR* PCHAR;
typedef USHORT* PUSHORT;
typedef WORD* PWORD;
typedef WORD* LPWORD;
typedef INT* PINT;
typedef INT* LPINT;
typedef UINT* PUINT;
typedef LONG* PLONG;
typedef LONG* LPLONG;
typedef ULONG* PULONG;
typedef DWORD* PDWORD;
typedef DWORD* LPDWORD;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef CHAR* LPSTR;
typedef CHAR* PSTR;
typedef const CHAR* LPCSTR;
typedef const CHAR* PCSTR;
typedef WCHAR* PWCHAR;
typedef WCHAR* LPWSTR;
typedef WCHAR* PWSTR;
typedef const WCHAR* LPCWSTR;
typedef const WCHAR* PCWSTR;

typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

#define TRUE 1
#define FALSE 0

#define MAX_PATH 260
#define ANYSIZE_ARRAY 1

#define MAKEWORD(low, high)                                                                                  \
 ((WORD) (((BYTE) ((DWORD_PTR) (low) &0xff)) | ((WORD) ((BYTE) ((DWORD_PTR) (high) &0xff))) << 8))
#define MAKELONG(low, high)                                                                                  \
 ((LONG) (((WORD) ((DWORD_PTR) (low) &0xffff)) | ((DWORD) ((WORD) ((DWORD_PTR) (high) &0xffff))) << 16))
#define LOWORD(l) ((WORD) ((DWORD_PTR) (l) &0xffff))
#define HIWORD(l) ((WORD) ((DWORD_PTR) (l) >> 16))
#define UNREFERENCED_PARAMETER(p) (void) (p)

//==============================================================================
// Handles

typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef HANDLE* LPHANDLE;

#define DECLARE_HANDLE(name)                                                                                 \
 struct name##__                                                                                             \
 {                                                                                                           \
  int unused;                                                                                                \
 };                                                                                                          \
 typedef struct name##__* name

DECLARE_HANDLE (HWND);
DECLARE_HANDLE (HINSTANCE);
DECLARE_HANDLE (HICON);
DECLARE_HANDLE (HBRUSH);
DECLARE_HANDLE (HMENU);
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;
typedef HANDLE HGLOBAL;
typedef HANDLE HLOCAL;
typedef PVOID HDEVNOTIFY;
typedef HDEVNOTIFY* PHDEVNOTIFY;

#define INVALID_HANDLE_VALUE ((HANDLE) (LONG_PTR) -1)

//==============================================================================
// GUIDs

#ifndef GUID_DEFINED
 #define GUID_DEFINED
typedef struct _GUID
{
    unsigned int Data1;
    unsigned short Data2;
    unsigned short Data3;
    unsigned char Data4[8];
} GUID;
#endif
typedef GUID* LPGUID;
typedef const GUID* LPCGUID;

#define IsEqualGUID(a, b) (memcmp ((a), (b), sizeof (GUID)) == 0)

//==============================================================================
// Last-error codes

#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_GEN_FAILURE 31L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
#define WAIT_TIMEOUT 258L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_OPERATION_ABORTED 995L
#define ERROR_IO_INCOMPLETE 996L
#define ERROR_IO_PENDING 997L
#define ERROR_DEVICE_NOT_CONNECTED 1167L
#define ERROR_NOT_FOUND 1168L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_CLASS_HAS_WINDOWS 1412L
#define ERROR_NO_SYSTEM_RESOURCES 1450L
#define ERROR_INVALID_USER_BUFFER 1784L

DWORD WINAPI GetLastError (void);
void WINAPI SetLastError (DWORD dwErrCode);

//==============================================================================
// Kernel objects, waits and threads

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_FAILED ((DWORD) 0xFFFFFFFF)
#define STATUS_PENDING ((DWORD) 0x00000103L)

typedef struct _SECURITY_ATTRIBUTES
{
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

BOOL WINAPI CloseHandle (HANDLE hObject);

HANDLE WINAPI CreateEventW (LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                            LPCWSTR lpName);
BOOL WINAPI SetEvent (HANDLE hEvent);
BOOL WINAPI ResetEvent (HANDLE hEvent);
DWORD WINAPI WaitForSingleObject (HANDLE hHandle, DWORD dwMilliseconds);

void WINAPI Sleep (DWORD dwMilliseconds);
DWORD WINAPI GetCurrentThreadId (void);
DWORD WINAPI GetTickCount (void);

HMODULE WINAPI GetModuleHandleW (LPCWSTR lpModuleName);

//==============================================================================
// Heap blocks

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define LMEM_FIXED 0x0000
#define LMEM_MOVEABLE 0x0002
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

HGLOBAL WINAPI GlobalAlloc (UINT uFlags, SIZE_T dwBytes);
HGLOBAL WINAPI GlobalFree (HGLOBAL hMem);
HLOCAL WINAPI LocalAlloc (UINT uFlags, SIZE_T uBytes);
HLOCAL WINAPI LocalFree (HLOCAL hMem);

#define MoveMemory(d, s, n) memmove ((d), (s), (n))
#define CopyMemory(d, s, n) memcpy ((d), (s), (n))
#define FillMemory(d, n, f) memset ((d), (f), (n))
#define ZeroMemory(d, n) memset ((d), 0, (n))
#define SecureZeroMemory(d, n) memset ((d), 0, (n))

//==============================================================================
// Files and overlapped I/O

#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define GENERIC_EXECUTE 0x20000000L
#define GENERIC_ALL 0x10000000L

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_FLAG_OVERLAPPED 0x40000000

typedef struct _OVERLAPPED
{
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    union
    {
        struct
        {
            DWORD Offset;
            DWORD OffsetHigh;
        };
        PVOID Pointer;
    };
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

HANDLE WINAPI CreateFileW (LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                           LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                           DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WINAPI ReadFile (HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                      LPOVERLAPPED lpOverlapped);
BOOL WINAPI WriteFile (HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                       LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
BOOL WINAPI GetOverlappedResult (HANDLE hFile, LPOVERLAPPED lpOverlapped, LPDWORD lpNumberOfBytesTransferred,
                                 BOOL bWait);
BOOL WINAPI GetOverlappedResultEx (HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                   LPDWORD lpNumberOfBytesTransferred, DWORD dwMilliseconds, BOOL bAlertable);
BOOL WINAPI CancelIo (HANDLE hFile);
BOOL WINAPI CancelIoEx (HANDLE hFile, LPOVERLAPPED lpOverlapped);

/* A poll of the transfer, which counts as looking at it (see Win32StandIn.h). */
BOOL WINAPI SimWin32HasOverlappedIoCompleted (LPOVERLAPPED lpOverlapped);
#define HasOverlappedIoCompleted(lpOverlapped) (SimWin32HasOverlappedIoCompleted (lpOverlapped) != FALSE)

//==============================================================================
// The C runtime's secure and case-blind wide string functions

#ifndef _ERRNO_T_DEFINED
 #define _ERRNO_T_DEFINED
typedef int errno_t;
#endif
#ifndef _RSIZE_T_DEFINED
 #define _RSIZE_T_DEFINED
typedef size_t rsize_t;
#endif

/** As with Microsoft's C runtime, a null argument or a destination too small
    for the source and its terminator is an invalid parameter: the program
    ends with a message. */
errno_t wcscpy_s (wchar_t* dest, rsize_t destSizeInWords, const wchar_t* source);
int _wcsicmp (const wchar_t* string1, const wchar_t* string2);
int _wcsnicmp (const wchar_t* string1, const wchar_t* string2, size_t maxCount);

int WINAPI lstrlenW (LPCWSTR lpString);
int WINAPI lstrcmpiW (LPCWSTR lpString1, LPCWSTR lpString2);

//==============================================================================
// The process

LPWSTR WINAPI GetCommandLineW (void);

/** The entry point of a GUI program; the entry glue (sim_win32_entry) calls
    it from main() as the C runtime does on Windows. */
int WINAPI WinMain (HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOW 5
#define SW_SHOWDEFAULT 10

//==============================================================================
// Windows and messages

typedef LRESULT (CALLBACK* WNDPROC) (HWND, UINT, WPARAM, LPARAM);

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_TIMER 0x0113
#define WM_DEVICECHANGE 0x0219
#define WM_USER 0x0400
#define WM_APP 0x8000

#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_CAPTION 0x00C00000L
#define WS_SYSMENU 0x00080000L
#define WS_OVERLAPPEDWINDOW 0x00CF0000L

#define CW_USEDEFAULT ((int) 0x80000000)
#define HWND_MESSAGE ((HWND) (LONG_PTR) -3)

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define MAKEINTATOM(i) ((LPWSTR) ((ULONG_PTR) ((WORD) (i))))

typedef struct tagPOINT
{
    LONG x;
    LONG y;
} POINT, *PPOINT, *LPPOINT;

typedef struct tagMSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *PMSG, *LPMSG;

typedef struct tagWNDCLASSEXW
{
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
    HICON hIconSm;
} WNDCLASSEXW, *PWNDCLASSEXW, *LPWNDCLASSEXW;

typedef struct tagCREATESTRUCTW
{
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTW, *LPCREATESTRUCTW;

ATOM WINAPI RegisterClassExW (const WNDCLASSEXW* lpWndClass);
BOOL WINAPI UnregisterClassW (LPCWSTR lpClassName, HINSTANCE hInstance);
HWND WINAPI CreateWindowExW (DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X,
                             int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                             HINSTANCE hInstance, LPVOID lpParam);
BOOL WINAPI DestroyWindow (HWND hWnd);
BOOL WINAPI IsWindow (HWND hWnd);
LRESULT WINAPI DefWindowProcW (HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

BOOL WINAPI GetMessageW (LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
BOOL WINAPI PeekMessageW (LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
BOOL WINAPI TranslateMessage (const MSG* lpMsg);
LRESULT WINAPI DispatchMessageW (const MSG* lpMsg);
LRESULT WINAPI SendMessageW (HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL WINAPI PostMessageW (HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
void WINAPI PostQuitMessage (int nExitCode);

//==============================================================================
// Device notifications (the records are in dbt.h)

#define DEVICE_NOTIFY_WINDOW_HANDLE 0x00000000
#define DEVICE_NOTIFY_SERVICE_HANDLE 0x00000001
#define DEVICE_NOTIFY_ALL_INTERFACE_CLASSES 0x00000004

HDEVNOTIFY WINAPI RegisterDeviceNotificationW (HANDLE hRecipient, LPVOID NotificationFilter, DWORD Flags);
BOOL WINAPI UnregisterDeviceNotification (HDEVNOTIFY Handle);

//==============================================================================
// Message boxes

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

int WINAPI MessageBoxA (HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

__END_DECLS

#ifdef __cplusplus

inline bool operator== (const GUID& a, const GUID& b)
{
    return memcmp (&a, &b, sizeof (GUID)) == 0;
}

inline bool operator!= (const GUID& a, const GUID& b)
{
    return !(a == b);
}

template <size_t size>
inline errno_t wcscpy_s (wchar_t (&dest)[size], const wchar_t* source)
{
    return wcscpy_s (dest, size, source);
}
#endif
