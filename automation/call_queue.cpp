#include "automation/call_queue.h"

#include <memory>
#include <system_error>

namespace tdbus {

CallQueue::CallQueue(std::size_t maxWorkers) : maxWorkers_(maxWorkers > 0 ? maxWorkers : 1) {}

CallQueue::~CallQueue() {
    Shutdown();
}

bool CallQueue::Post(const std::string& lane, std::function<void()> task) {
    std::unique_lock lock(mutex_);
    if (stopping_) return false;
    Lane& l = lanes_[lane];
    l.tasks.push_back(std::move(task));
    ++pending_;
    if (l.running || l.tasks.size() > 1) return true;  // already running or already ready
    ready_.push_back(lane);
    // A sleeping worker takes it; otherwise one more thread, while the bound allows.
    if (busy_ + ready_.size() > threads_.size() && threads_.size() < maxWorkers_) {
        try {
            threads_.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            // No new thread: a running worker takes the lane when it is free.
        }
    }
    wake_.notify_one();
    return true;
}

void CallQueue::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return !ready_.empty() || stopping_; });
        if (ready_.empty()) return;  // stopping and nothing left to run
        const std::string name = std::move(ready_.front());
        ready_.pop_front();
        Lane& lane = lanes_[name];
        std::function<void()> task = std::move(lane.tasks.front());
        lane.tasks.pop_front();
        lane.running = true;
        ++busy_;

        lock.unlock();
        bool held = false;
        t_current = {this, &name, &held};
        task();
        t_current = {};
        task = nullptr;  // what the task holds goes before the lane is seen as free
        lock.lock();

        --busy_;
        if (!held) LaneFree(name, lock);
    }
}

void CallQueue::LaneFree(const std::string& name, std::unique_lock<std::mutex>& /*locked*/) {
    --pending_;
    Lane& after = lanes_[name];
    after.running = false;
    if (after.tasks.empty())
        lanes_.erase(name);
    else {
        ready_.push_back(name);
        wake_.notify_one();
    }
    if (pending_ == 0) idle_.notify_all();
}

std::function<void()> CallQueue::HoldLane() {
    if (t_current.queue != this || !t_current.held || *t_current.held) return {};
    *t_current.held = true;
    {
        std::lock_guard lock(mutex_);
        ++held_;
    }
    return [this, name = *t_current.lane, once = std::make_shared<std::once_flag>()] {
        std::call_once(*once, [&] {
            std::unique_lock lock(mutex_);
            --held_;
            LaneFree(name, lock);
            idle_.notify_all();  // Shutdown waits for the holds to end
        });
    };
}

thread_local CallQueue::Current CallQueue::t_current;

void CallQueue::WaitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return pending_ == 0; });
}

void CallQueue::Shutdown() {
    std::vector<std::thread> threads;
    {
        std::unique_lock lock(mutex_);
        // A held lane's later tasks run when it is released: the workers wait for that.
        idle_.wait(lock, [this] { return held_ == 0; });
        stopping_ = true;
        // Workers leave only with nothing ready, so everything queued still runs.
        wake_.notify_all();
        threads.swap(threads_);
    }
    for (std::thread& t : threads)
        if (t.joinable()) t.join();
}

std::size_t CallQueue::Workers() const {
    std::lock_guard lock(mutex_);
    return threads_.size();
}

}  // namespace tdbus
