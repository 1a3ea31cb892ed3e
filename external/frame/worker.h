// The skeleton every worker routine runs on: finding its slot, preparing and
// filling the callback arguments, reports, the stop check, the final
// callback and the end sequence.
//
// A routine looks like this:
//     DWORD Routine(LPVOID parameter) {
//         Worker worker(parameter, u"Name");
//         if (!worker.FindSlot()) return worker.End(NB_WORKER_EXIT_NO_SLOT);
//         ... the work, with StopRequested() between units ...
//         return worker.End(NB_WORKER_EXIT_NORMAL);
//     }
//
// Once the shell has given up on the thread (TerminateThread abandons it),
// the worker stops at its next check and touches the slot no more: callback
// values only ever go into the argument block it obtained when the block was
// prepared, and nothing is posted any more.
#pragma once

#include <string>
#include <string_view>

#include "external/frame/pumping_wait.h"
#include "external/frame/worker_block.h"
#include "external/frame/worker_command.h"

namespace nb::external {

class Worker {
   public:
    // Takes over the parameter block StartWorker made, and the module lock it
    // took, which is released as the thread's last act. name is the
    // routine's script name, shown in the caption of its message boxes.
    Worker(LPVOID parameter, std::u16string_view name);
    // Ends the worker with exit code 0 when the routine did not.
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // The worker's copy of its call's arguments, in natural order.
    UINT ArgumentCount() const { return m_block->arguments->cArgs; }
    const VARIANT& Argument(UINT index) const { return m_block->arguments->rgvarg[index]; }

    // Looks for the slot the shell registered this thread in. False when it
    // never appears: end with NB_WORKER_EXIT_NO_SLOT.
    [[nodiscard]] bool FindSlot();

    // Asks the shell for a callback argument block of count values and waits
    // until the slot holds it. False when it never does: end with
    // NB_WORKER_EXIT_NO_ARGUMENTS.
    [[nodiscard]] bool PrepareArguments(UINT count);

    // Callback argument position (counted from 1) becomes a copy of value:
    // the script callback's parameter of that position. A position outside
    // the block is not stored; a message box owned by the shell window says
    // so and the worker goes on. While a progress report is still to be run
    // by the shell, this first waits for it.
    void SetArgument(UINT position, const VARIANT& value);
    void SetInteger(UINT position, LONG value);
    void SetString(UINT position, std::u16string_view text);
    void SetNull(UINT position);
    // Every callback argument becomes VT_I4 0.
    void ZeroArguments();

    // The command the shell aims at this thread while its event is set; a
    // thread the shell abandoned reads a stop.
    WorkerCommand ReadCommand() const;
    // True when the command is a stop (command target 0 or this thread's
    // id, command event set, command word 1), or the thread was abandoned.
    bool StopRequested() const;

    // A status call: the callback receives the code as its one argument.
    void Notify(DWORD status);

    // Progress reports. Due when at least interval_ms passed since the last
    // one and the shell has run the previous one; set the values only then,
    // and post. The report carries a flag the shell writes after running it,
    // so values are never rewritten while the shell may be reading them.
    bool IsProgressDue(DWORD interval_ms);
    void PostProgress();

    // Posts the final callback and waits until the shell has run it (or
    // cannot any more: the thread was abandoned or the window is gone).
    void FinalCallback();

    // The end sequence: clears the callback values, frees the argument copy
    // and the parameter block, and tells the shell the slot is free.
    // Returns exit_code for the routine to return.
    DWORD End(DWORD exit_code);

   private:
    // Releases the module lock when the worker is gone; declared first so it
    // goes last.
    struct ModuleLockRelease {
        ~ModuleLockRelease();
    };
    struct Apartment {
        Apartment();
        ~Apartment();
    };

    VARIANT* CallbackValue(UINT position);
    void ClearCallbackValues();
    void WaitForShell(DWORD& flag, DWORD pause_ms);
    WPARAM SlotParameter() const;

    ModuleLockRelease m_module_lock;
    Apartment m_apartment;
    PumpingWait m_pause;
    WorkerBlockPtr m_block;
    std::u16string m_caption;
    DWORD m_thread_id;
    int m_slot = -1;
    DISPPARAMS* m_callback_arguments = nullptr;  // the block obtained in PrepareArguments
    DWORD m_final_flag = 0;
    DWORD m_progress_flag = 0;
    bool m_progress_outstanding = false;
    DWORD m_last_report_tick;
    bool m_ended = false;
};

}  // namespace nb::external
