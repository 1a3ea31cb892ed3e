// Kernel objects: events and threads behind handles, waits, tick counts.
//
// Threads cannot be killed safely on POSIX, so TerminateThread abandons a
// thread instead: from that moment its handle is signalled and reports the
// given exit code, every message it sends or posts is dropped (and so are
// messages it posted earlier that are still queued), and its own stop checks
// see that it must end. The thread itself runs on until it returns; memory it
// may still touch is kept alive with NbDeferUntilThreadEnds.
#pragma once

#include "platform/automation/wintypes.h"

using HANDLE = void*;
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD CREATE_SUSPENDED = 0x4;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// Events. Null on failure.
NB_API HANDLE CreateEventW(LPVOID attributes, BOOL manual_reset, BOOL initial_state, LPCWSTR name);
NB_API BOOL SetEvent(HANDLE event);
NB_API BOOL ResetEvent(HANDLE event);

// Waits on events and threads (a thread is signalled once it has ended or
// been abandoned). A satisfied wait on an auto-reset event resets it.
// WAIT_OBJECT_0 + index, WAIT_TIMEOUT, or WAIT_FAILED for a bad handle.
NB_API DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
NB_API DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all,
                                    DWORD milliseconds);
NB_API BOOL CloseHandle(HANDLE handle);

// Threads. The thread id is a process-wide 32-bit number, never 0.
NB_API HANDLE CreateThread(LPVOID attributes, SIZE_T stack_size, LPTHREAD_START_ROUTINE start,
                           LPVOID parameter, DWORD flags, DWORD* thread_id);
// The previous suspend count (1 when this call let the thread run), or
// 0xFFFFFFFF for a bad handle.
NB_API DWORD ResumeThread(HANDLE thread);
NB_API BOOL GetExitCodeThread(HANDLE thread, DWORD* exit_code);
// Abandons the thread (see above). A thread that never ran never will.
NB_API BOOL TerminateThread(HANDLE thread, DWORD exit_code);
NB_API DWORD GetThreadId(HANDLE thread);
NB_API DWORD GetCurrentThreadId();

NB_API void Sleep(DWORD milliseconds);
NB_API DWORD GetTickCount();

// True on a thread that TerminateThread has abandoned.
NB_API BOOL NbIsCurrentThreadAbandoned();
NB_API BOOL NbIsThreadAbandoned(DWORD thread_id);
// Runs release(data) once the thread has really ended; at once when it
// already has. FALSE (and nothing runs) for a bad handle.
NB_API BOOL NbDeferUntilThreadEnds(HANDLE thread, void (*release)(void* data), void* data);
