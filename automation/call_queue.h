// The workers that run the clients' channel calls off the window thread. Every task
// belongs to a lane (the server uses one lane per client and channel): the tasks of one
// lane run one after the other in the order they were posted, tasks of different lanes
// run side by side on up to `maxWorkers` threads. So a call that waits holds up only the
// calls queued behind it in its own lane. Threads start when work needs one and stay,
// sleeping, until Shutdown.
//
//   CallQueue calls(8);
//   calls.Post(":1.42/3", [] { ... });   // runs on a worker
//   calls.Shutdown();                    // runs what is queued, then joins the workers
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tdbus {

class CallQueue {
public:
    explicit CallQueue(std::size_t maxWorkers);
    ~CallQueue();  // Shutdown()
    CallQueue(const CallQueue&) = delete;
    CallQueue& operator=(const CallQueue&) = delete;

    // Queues task behind the earlier tasks of its lane. False (task dropped) after Shutdown
    // began.
    bool Post(const std::string& lane, std::function<void()> task);
    // Inside a task: its lane stays busy after the task returns, until the returned
    // release is called (from any thread, once). Work that waits for an event so ends
    // without keeping a worker, and the lane's later tasks still wait for its answer.
    // Empty outside a task of this queue.
    std::function<void()> HoldLane();
    // Blocks until no task is queued, running or holding its lane. Tasks posted meanwhile
    // are waited for too.
    void WaitIdle();
    // Refuses new tasks, waits for the held lanes' releases, lets the queued tasks run,
    // joins the workers. Idempotent. Not from a task.
    void Shutdown();

    std::size_t MaxWorkers() const { return maxWorkers_; }
    // Worker threads started so far (never more than MaxWorkers()).
    std::size_t Workers() const;

private:
    struct Lane {
        std::deque<std::function<void()>> tasks;
        bool running = false;
    };
    void Work();
    // A lane's task has ended (returned, or its hold released): the next one may run.
    void LaneFree(const std::string& name, std::unique_lock<std::mutex>& lock);

    const std::size_t maxWorkers_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;  // workers: a lane is ready, or shutdown
    std::condition_variable idle_;  // WaitIdle: the last task ended
    std::map<std::string, Lane> lanes_;
    std::deque<std::string> ready_;  // lanes with tasks and no task running
    std::size_t busy_ = 0;           // workers running a task
    std::size_t pending_ = 0;        // tasks queued, running or holding their lane
    std::size_t held_ = 0;           // lanes held by HoldLane
    bool stopping_ = false;
    std::vector<std::thread> threads_;
    // The task this thread runs, for HoldLane.
    struct Current {
        CallQueue* queue = nullptr;
        const std::string* lane = nullptr;
        bool* held = nullptr;
    };
    static thread_local Current t_current;
};

}  // namespace tdbus
