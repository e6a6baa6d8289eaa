#include "service/delivery_threads.h"

#include <pthread.h>

namespace kvwmi {

DeliveryThreads& DeliveryThreads::Instance() {
    static DeliveryThreads threads;
    return threads;
}

DeliveryThreads::DeliveryThreads() {
    // The C library drops a module's fork handlers when the module is unloaded. The child
    // has none of the parent's threads: it leaves their table (locked, with jobs whose sinks
    // belong to the parent's callers) untouched and starts a new one.
    pthread_atfork([] { Instance().table_->mutex.lock(); },
                   [] { Instance().table_->mutex.unlock(); },
                   [] {
                       Table* fresh = new Table();
                       fresh->parent = Instance().table_;  // kept reachable, never used
                       Instance().table_ = fresh;
                   });
}

void DeliveryThreads::Serve(Worker& worker) {
    Table& table = *table_;
    std::unique_lock lock(table.mutex);
    for (;;) {
        worker.wake.wait(lock, [&] { return worker.job || worker.stop; });
        if (!worker.job) {
            --table.parked;  // stopped while parked
            break;
        }
        std::shared_ptr<DeliveryJob> job = worker.job;
        lock.unlock();
        job->Run();
        lock.lock();
        worker.job.reset();
        lock.unlock();
        // The job's last reference, and with it the query and its namespace, goes outside the
        // lock and before the thread counts as idle: once every thread is idle, the module's
        // object count is final.
        job.reset();
        lock.lock();
        worker.busy = false;
        table.idle.notify_all();
        if (table.parked >= kMaxParked || worker.stop)
            break;
        ++table.parked;
    }
    worker.ended = true;
    table.idle.notify_all();
}

std::vector<std::thread> DeliveryThreads::TakeEnded() {
    std::vector<std::thread> ended;
    auto& workers = table_->workers;
    for (auto it = workers.begin(); it != workers.end();) {
        if (it->ended) {
            ended.push_back(std::move(it->thread));
            it = workers.erase(it);
        } else {
            ++it;
        }
    }
    return ended;
}

void DeliveryThreads::JoinAll(std::vector<std::thread>& threads) {
    for (std::thread& thread : threads) {
        if (thread.joinable())
            thread.join();
    }
}

void DeliveryThreads::Start(std::shared_ptr<DeliveryJob> job) {
    std::vector<std::thread> ended;
    {
        Table& table = *table_;
        std::lock_guard lock(table.mutex);
        ended = TakeEnded();
        Worker* parked = nullptr;
        if (table.parked != 0) {
            for (Worker& worker : table.workers) {
                if (!worker.busy && !worker.stop && !worker.ended) {
                    parked = &worker;
                    break;
                }
            }
        }
        if (parked) {
            --table.parked;
            parked->job = std::move(job);
            parked->busy = true;
            parked->wake.notify_one();
        } else {
            Worker& worker = table.workers.emplace_back();
            worker.job = std::move(job);
            worker.busy = true;
            try {
                worker.thread = std::thread([this, &worker] { Serve(worker); });
            } catch (...) {
                table.workers.pop_back();
                throw;
            }
        }
    }
    JoinAll(ended);
}

std::vector<std::shared_ptr<DeliveryJob>> DeliveryThreads::FindBySink(IWbemObjectSink* sink) {
    std::vector<std::shared_ptr<DeliveryJob>> found;
    std::lock_guard lock(table_->mutex);
    for (const Worker& worker : table_->workers) {
        if (worker.job && worker.job->sink() == sink && !worker.job->IsDone())
            found.push_back(worker.job);
    }
    return found;
}

void DeliveryThreads::CancelOwner(uint64_t owner, HRESULT result) {
    const std::thread::id self = std::this_thread::get_id();
    std::vector<std::shared_ptr<DeliveryJob>> waited;
    {
        std::lock_guard lock(table_->mutex);
        for (const Worker& worker : table_->workers) {
            if (!worker.job || worker.job->owner() != owner)
                continue;
            worker.job->Cancel(result);
            if (worker.thread.get_id() != self)
                waited.push_back(worker.job);
        }
    }
    for (const auto& job : waited)
        job->WaitDone();
}

size_t DeliveryThreads::Settle() {
    const std::thread::id self = std::this_thread::get_id();
    std::vector<std::thread> ended;
    size_t running = 0;
    {
        Table& table = *table_;
        std::unique_lock lock(table.mutex);
        // A thread whose job is done only lets go of it: a short wait.
        table.idle.wait(lock, [&] {
            for (const Worker& worker : table.workers) {
                if (worker.busy && (!worker.job || worker.job->IsDone()) &&
                    worker.thread.get_id() != self)
                    return false;
            }
            return true;
        });
        ended = TakeEnded();
        for (const Worker& worker : table.workers)
            running += worker.busy;
    }
    JoinAll(ended);
    return running;
}

void DeliveryThreads::EndParked() {
    const std::thread::id self = std::this_thread::get_id();
    std::vector<std::thread> ended;
    {
        Table& table = *table_;
        std::unique_lock lock(table.mutex);
        for (Worker& worker : table.workers) {
            if (!worker.busy && worker.thread.get_id() != self) {
                worker.stop = true;
                worker.wake.notify_one();
            }
        }
        table.idle.wait(lock, [&] {
            for (const Worker& worker : table.workers) {
                if (worker.stop && !worker.ended)
                    return false;
            }
            return true;
        });
        ended = TakeEnded();
    }
    JoinAll(ended);
}

bool DeliveryThreads::OnDeliveryThread() {
    const std::thread::id self = std::this_thread::get_id();
    std::lock_guard lock(table_->mutex);
    for (const Worker& worker : table_->workers) {
        if (worker.thread.get_id() == self)
            return true;
    }
    return false;
}

size_t DeliveryThreads::WaitIdle(std::chrono::milliseconds limit) {
    Table& table = *table_;
    std::unique_lock lock(table.mutex);
    auto busy = [&] {
        size_t count = 0;
        for (const Worker& worker : table.workers)
            count += worker.busy;
        return count;
    };
    table.idle.wait_for(lock, limit, [&] { return busy() == 0; });
    return busy();
}

size_t DeliveryThreads::ThreadCount() {
    std::lock_guard lock(table_->mutex);
    size_t count = 0;
    for (const Worker& worker : table_->workers)
        count += !worker.ended;
    return count;
}

DeliveryThreads::~DeliveryThreads() {
    // When the module is unloaded no thread is left: DllCanUnloadNow ended them first. At
    // process exit the parked ones end here; a delivery still waiting keeps the table.
    try {
        EndParked();
    } catch (...) {
        return;  // a thread could not be joined: leave the table to it
    }
    bool empty = false;
    {
        std::lock_guard lock(table_->mutex);
        empty = table_->workers.empty();
    }
    // A forked child's table keeps its parent's, whose threads are not this process's to
    // join: both stay.
    if (empty && !table_->parent)
        delete table_;
}

}  // namespace kvwmi
