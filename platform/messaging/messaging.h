// Windows that receive messages, on the thread that created them.
//
// SendMessageW from the window's own thread calls its procedure directly;
// from another thread it queues the message and blocks until the window's
// thread has handled it, which that thread does whenever it runs its loop or
// a pumping wait. PostMessageW queues and returns. Each thread's queue is
// driven by a loop: the headless loop here, or the GLib main loop of the
// shell (platform/messaging/glib_loop.h), both behind nb::MessageLoop.
#pragma once

#include <memory>

#include "platform/kernel/kernel.h"

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
};

constexpr UINT PM_NOREMOVE = 0x0;
constexpr UINT PM_REMOVE = 0x1;

// A window of the calling thread whose messages go to the procedure. The
// data pointer is the window's own, for the procedure to find its object.
NB_API HWND NbCreateMessageWindow(WNDPROC procedure, LPVOID data);
// Only on the window's thread. Sends WM_DESTROY first; senders still waiting
// on the window get 0.
NB_API BOOL DestroyWindow(HWND window);
NB_API BOOL IsWindow(HWND window);
NB_API LPVOID NbGetWindowData(HWND window);
NB_API DWORD GetWindowThreadProcessId(HWND window, DWORD* process_id);

// 0 for a window that is gone or from an abandoned thread.
NB_API LRESULT SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// FALSE for a window that is gone or from an abandoned thread. A queued
// message whose sender is abandoned before it is handled is dropped.
NB_API BOOL PostMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
NB_API void PostQuitMessage(int exit_code);

// Handles messages sent to the calling thread, then returns its next posted
// message: GetMessageW blocks for it and answers 0 for WM_QUIT, PeekMessageW
// answers FALSE when there is none.
NB_API BOOL GetMessageW(MSG* message, HWND window, UINT first, UINT last);
NB_API BOOL PeekMessageW(MSG* message, HWND window, UINT first, UINT last, UINT remove);
NB_API LRESULT DispatchMessageW(const MSG* message);

constexpr DWORD COWAIT_WAITALL = 0x1;
constexpr DWORD COWAIT_ALERTABLE = 0x2;
constexpr HRESULT RPC_S_CALLPENDING = MakeHResult(0x80010115);

// A wait that keeps the calling thread's messages flowing: sent and posted
// messages are handled while it waits. S_OK with the index of the signalled
// handle, or RPC_S_CALLPENDING when the time-out passed. A WM_QUIT met
// during the wait is posted again for the loop that runs outside it.
NB_API HRESULT CoWaitForMultipleHandles(DWORD flags, DWORD milliseconds, ULONG count,
                                        HANDLE* handles, DWORD* index);

namespace nb {

// Drives the calling thread's queue. Pumping waits on that thread use the
// installed loop, so a GLib loop keeps GTK running during them.
class MessageLoop {
   public:
    virtual ~MessageLoop() = default;
    // Runs until PostQuitMessage; answers its exit code.
    virtual int Run() = 0;
    // Blocks until the kernel's change count differs from seen_changes (a
    // message queued, an event set, a thread ended) or the time-out passes,
    // serving whatever else the loop drives meanwhile.
    virtual void WaitForChange(std::uint64_t seen_changes, DWORD milliseconds) = 0;
};

// The loop of tests and command-line hosts: GetMessageW and DispatchMessageW.
NB_EXPORT std::unique_ptr<MessageLoop> CreateHeadlessLoop();
// Installs the loop the calling thread's pumping waits use (null: headless).
// The loop must outlive its installation.
NB_EXPORT void SetCurrentThreadLoop(MessageLoop* loop);
NB_EXPORT MessageLoop* CurrentThreadLoop();

// For loop drivers: handles every message waiting for the calling thread and
// answers false when it took a WM_QUIT from the queue (with its code).
NB_EXPORT bool DispatchPendingMessages(int* quit_code);
NB_EXPORT bool HasPendingMessages();
// The kernel's change count (see MessageLoop::WaitForChange).
NB_EXPORT std::uint64_t CurrentChangeCount();

}  // namespace nb
