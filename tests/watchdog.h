#pragma once
// A watch on a test case that may block its own thread (a read of a pipe, a
// peer that stopped answering): the case fails, named, instead of hanging.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

// Ends the run, naming the case, when a case does not finish in time. A read
// that blocks (a pipe, a device) stops the event loop too, so the watch
// keeps a thread of its own.
class Watchdog {
public:
    Watchdog(const char* name, std::chrono::seconds limit)
        : thread_([this, name, limit] {
              std::unique_lock lock(mutex_);
              if (!finished_.wait_for(lock, limit, [this] { return done_; })) {
                  std::fprintf(stderr, "FAIL!  : the case \"%s\" did not finish within %lld seconds\n", name,
                               static_cast<long long>(limit.count()));
                  std::fflush(stderr);
                  std::_Exit(EXIT_FAILURE);
              }
          })
    {}
    ~Watchdog()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        finished_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    std::thread thread_;  // last: it starts once the rest is there
};
