// A queue between threads whose reader waits in poll(): every push makes the queue's
// descriptor readable until the reader takes what is there.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tavo::gateway {

template <class T> class MessageQueue {
public:
    MessageQueue() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (fd_ < 0) throw std::runtime_error("eventfd failed");
    }
    ~MessageQueue() { ::close(fd_); }
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    void Push(T item) {
        {
            std::lock_guard lock(mutex_);
            items_.push_back(std::move(item));
        }
        const std::uint64_t one = 1;
        // A full counter (never in practice) still leaves the descriptor readable.
        [[maybe_unused]] const auto n = ::write(fd_, &one, sizeof one);
    }

    // Everything queued so far, oldest first; clears the descriptor's readiness.
    std::vector<T> TakeAll() {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto n = ::read(fd_, &count, sizeof count);
        std::lock_guard lock(mutex_);
        std::vector<T> out(std::make_move_iterator(items_.begin()),
                           std::make_move_iterator(items_.end()));
        items_.clear();
        return out;
    }

    // Readable while items wait.
    int Descriptor() const { return fd_; }

private:
    int fd_;
    std::mutex mutex_;
    std::deque<T> items_;
};

} // namespace tavo::gateway
