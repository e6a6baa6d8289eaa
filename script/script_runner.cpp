#include "script/script_runner.h"

#include <memory>
#include <string>

#include "errors/error_description.h"
#include "kvwin/utf.h"
#include "kvwin/waitable_thread.h"
#include "script/script_run.h"
#include "win/kernel_objects.h"

namespace {

using SharedHandle = std::shared_ptr<void>;

SharedHandle OpenCancellationEvent() {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, kScriptCancellationEventName);
    return SharedHandle(event, [](HANDLE handle) {
        if (handle && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    });
}

// Asks a running script to stop: the engine, when the run has one now, stops the script code
// it is running; the flag stops the run at its next step (also one whose engine does not
// exist yet).
void Interrupt(ScriptRunContext& context) {
    std::lock_guard<std::mutex> lock(context.engineLock);
    if (context.engine)
        context.engine->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0);
    context.interrupted.store(true, std::memory_order_release);
}

}  // namespace

bool RunScript(const WCHAR* scriptType, const WCHAR* scriptText, const WCHAR* functionName,
               VARIANT* result, DWORD timeLimitMs) {
    SharedHandle cancellation = OpenCancellationEvent();
    if (!cancellation || cancellation.get() == INVALID_HANDLE_VALUE)
        return false;

    ScriptRunContext context;
    context.result = result;
    kvwin::WaitableThread scriptThread([&context, scriptType, scriptText, functionName] {
        PerformScriptRun(context, scriptType, scriptText, functionName);
    });

    const HANDLE waitFor[2] = {scriptThread.handle(), cancellation.get()};
    const DWORD waited = WaitForMultipleObjects(2, waitFor, FALSE, timeLimitMs);
    if (waited == static_cast<DWORD>(WAIT_TIMEOUT) || waited == WAIT_OBJECT_0 + 1) {
        Interrupt(context);
        ExplainFailure(waited == WAIT_OBJECT_0 + 1
                           ? TEXT("the script was interrupted: the session was cancelled")
                           : TEXT("the script was interrupted: it ran past its time limit of ") +
                                 kvwin::FromUtf8(std::to_string(timeLimitMs)) + TEXT(" ms"));
    }

    // A script that ignores the interruption is waited for: the run refers to this frame.
    scriptThread.join();
    ResetEvent(cancellation.get());

    const bool succeeded = context.succeeded.load(std::memory_order_acquire);
    {
        std::lock_guard<std::mutex> lock(context.engineLock);
        if (context.engine) {
            context.engine->Release();
            context.engine = nullptr;
        }
    }
    return succeeded;
}
