// The contract between the shell and the extension library: the call frame
// of every EX_ function, the worker table, the worker messages and the
// command channel.
//
// The worker table, the command words and a worker's wait flag are shared
// between the shell's thread and the workers without locks, each with one
// writer. Both sides access those words through std::atomic_ref so that
// every read sees a whole, published value; the callback argument values are
// published by the message that announces them.
#pragma once

#include "platform/automation/variant.h"
#include "platform/kernel/kernel.h"
#include "platform/messaging/messaging.h"

// Messages from the extension library to the shell window (wParam: a slot
// index, or the thread id for registration).
constexpr UINT WM_WORKER_REGISTER = WM_APP + 101;      // thread id, thread handle
constexpr UINT WM_WORKER_SET_CALLBACK = WM_APP + 102;  // slot, callback name
constexpr UINT WM_WORKER_ALLOC_ARGS = WM_APP + 103;    // slot, argument count 1..1024
constexpr UINT WM_WORKER_NEW_ARRAY = WM_APP + 104;     // slot, argument index
constexpr UINT WM_WORKER_NOTIFY = WM_APP + 105;        // slot, status code
constexpr UINT WM_WORKER_CALLBACK = WM_APP + 106;      // slot, address of the wait flag or 0
constexpr UINT WM_WORKER_DONE = WM_APP + 107;          // slot (64: never found one)

// Slots 0..63 are real; slot 64 absorbs messages of a worker without a slot.
constexpr int NB_WORKER_SLOTS = 64;
constexpr int NB_WORKER_TABLE_SIZE = NB_WORKER_SLOTS + 1;
constexpr UINT NB_MAX_CALLBACK_ARGUMENTS = 1024;

struct WorkerSlot {
    DWORD thread_id;        // 0: free
    HANDLE thread;          // owned by the slot once registered
    LPWSTR callback_name;   // task memory, or null
    DISPPARAMS* arguments;  // task memory (count + 1 variants), or null
};

// Words of the command channel.
constexpr DWORD NB_COMMAND_STOP = 1;
constexpr DWORD NB_COMMAND_STOP_PLAYBACK = 101;
constexpr DWORD NB_COMMAND_PAUSE_PLAYBACK = 102;
constexpr DWORD NB_COMMAND_RESUME_PLAYBACK = 103;
constexpr DWORD NB_COMMAND_VOLUME_FIRST = 200;  // 200..300: volume = code - 200 percent
constexpr DWORD NB_COMMAND_VOLUME_LAST = 300;

// What the shell writes into a worker's wait flag after the final callback.
constexpr DWORD NB_WAIT_FLAG_CALLED = 200;
constexpr DWORD NB_WAIT_FLAG_NO_CALLBACK = 404;

// Exit codes of worker threads.
constexpr DWORD NB_WORKER_EXIT_NORMAL = 0;
constexpr DWORD NB_WORKER_EXIT_NO_SLOT = 404;
constexpr DWORD NB_WORKER_EXIT_NO_ARGUMENTS = 405;
constexpr DWORD NB_WORKER_EXIT_TERMINATED = 127;

// The shell's system information block, behind the info_* properties.
struct SystemInformation {
    LPWSTR browser_version;  // owned by the shell
    DWORD browser_major;
    DWORD browser_minor;
    DWORD screen_width;
    DWORD screen_height;
    DWORD work_area_width;
    DWORD work_area_height;
    DWORD system_dpi_x;
    DWORD system_dpi_y;
    DWORD application_dpi_x;
    DWORD application_dpi_y;
};

// The browser control handed to callbacks; opaque to the extension library.
struct IWebBrowser2;

// Every EX_ export has this frame.
using ExFunction = HRESULT (*)(HWND shell_window, HANDLE command_event, DWORD* command_target,
                               DWORD* command_word, WorkerSlot* workers, DISPPARAMS* args,
                               VARIANT* result, LPCWSTR callback_name, IWebBrowser2* browser,
                               EXCEPINFO* exception, UINT* argument_error,
                               SystemInformation* system);
