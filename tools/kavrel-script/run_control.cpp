#include "run_control.h"

void RunControl::SetEngine(IActiveScript* engine) {
    if (engine)
        engine->AddRef();
    IActiveScript* previous = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        previous = engine_;
        engine_ = engine;
    }
    if (previous)
        previous->Release();
}

bool RunControl::Stop(StopReason reason, int quitCode) {
    std::lock_guard<std::mutex> guard(lock_);
    if (reason_ != StopReason::None || reason == StopReason::None)
        return false;
    reason_ = reason;
    quitCode_ = quitCode;
    // The engine first: a wait that the signal ends returns a failure, which the engine
    // must already take for the interruption rather than for a script error.
    if (engine_)
        engine_->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0);
    signal_.Raise();
    return true;
}

StopReason RunControl::Reason() const {
    std::lock_guard<std::mutex> guard(lock_);
    return reason_;
}

int RunControl::QuitCode() const {
    std::lock_guard<std::mutex> guard(lock_);
    return quitCode_;
}
