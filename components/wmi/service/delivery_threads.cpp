#include "service/delivery_threads.h"

namespace kvwmi {

DeliveryThreads& DeliveryThreads::Instance() {
    static DeliveryThreads threads;
    return threads;
}

template <class Pick>
std::vector<DeliveryThreads::Entry> DeliveryThreads::Take(Pick pick) {
    std::vector<Entry> taken;
    std::lock_guard lock(mutex_);
    for (auto it = entries_->begin(); it != entries_->end();) {
        if (pick(*it)) {
            taken.push_back(std::move(*it));
            it = entries_->erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

void DeliveryThreads::JoinAll(std::vector<Entry>& entries) {
    for (Entry& entry : entries) {
        if (entry.thread.joinable())
            entry.thread.join();
    }
}

void DeliveryThreads::Start(std::shared_ptr<DeliveryJob> job) {
    JoinFinished();
    std::lock_guard lock(mutex_);
    entries_->reserve(entries_->size() + 1);  // so that push_back below cannot throw
    std::thread thread([job] { job->Run(); });
    entries_->push_back(Entry{std::move(job), std::move(thread)});
}

std::vector<std::shared_ptr<DeliveryJob>> DeliveryThreads::FindBySink(IWbemObjectSink* sink) {
    std::vector<std::shared_ptr<DeliveryJob>> found;
    std::lock_guard lock(mutex_);
    for (const Entry& entry : *entries_) {
        if (entry.job->sink() == sink && !entry.job->IsDone())
            found.push_back(entry.job);
    }
    return found;
}

void DeliveryThreads::CancelOwner(uint64_t owner, HRESULT result) {
    std::thread::id self = std::this_thread::get_id();
    std::vector<Entry> taken = Take([&](Entry& entry) {
        if (entry.job->owner() != owner)
            return false;
        entry.job->Cancel(result);
        return entry.thread.get_id() != self;
    });
    JoinAll(taken);
}

size_t DeliveryThreads::JoinFinished() {
    std::thread::id self = std::this_thread::get_id();
    std::vector<Entry> taken =
        Take([&](Entry& entry) { return entry.job->IsDone() && entry.thread.get_id() != self; });
    JoinAll(taken);
    std::lock_guard lock(mutex_);
    return entries_->size();
}

bool DeliveryThreads::OnDeliveryThread() {
    std::thread::id self = std::this_thread::get_id();
    std::lock_guard lock(mutex_);
    for (const Entry& entry : *entries_) {
        if (entry.thread.get_id() == self)
            return true;
    }
    return false;
}

DeliveryThreads::~DeliveryThreads() {
    // When the module is unloaded the table is empty: DllCanUnloadNow joined every thread
    // first. At process exit a delivery may still be waiting; it keeps its entry.
    if (entries_->empty())
        delete entries_;
}

}  // namespace kvwmi
