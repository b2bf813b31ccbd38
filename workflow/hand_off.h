#pragma once

#include <utility>

#if defined(__SANITIZE_THREAD__)
#define TESSALY_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESSALY_THREAD_SANITIZER 1
#endif
#endif

#ifdef TESSALY_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace tessaly {

/// A value that travels to another thread through a Qt queue (the thread pool's or an object's
/// event queue), captured by the job or call that carries it.
///
/// Qt orders the sending and the receiving thread with its own locks, which ThreadSanitizer
/// cannot see unless Qt itself is instrumented; the value tells the sanitizer of the passage
/// so that it checks everything else. Without the sanitizer it is the bare value.
template <typename Value> class HandOff {
public:
    /// Wraps `value` on the sending thread.
    explicit HandOff(Value value) : m_value(std::move(value)) { sent(); }
    HandOff(const HandOff &other) : m_value((other.received(), other.m_value)) { sent(); }
    HandOff(HandOff &&other) : m_value(other.take()) { sent(); }
    HandOff &operator=(const HandOff &) = delete;
    HandOff &operator=(HandOff &&) = delete;
    ~HandOff() { received(); }

    /// Moves the value out, on the receiving thread. Whoever destroys the emptied wrapper is
    /// ordered after this: Qt may destroy a queued call on the thread that queued it.
    Value take() {
        received();
        Value value = std::move(m_value);
        sent();
        return value;
    }

private:
#ifdef TESSALY_THREAD_SANITIZER
    void sent() const {
        __tsan_release(const_cast<HandOff *>(this));
    }
    void received() const {
        __tsan_acquire(const_cast<HandOff *>(this));
    }
#else
    void sent() const {}
    void received() const {}
#endif

    Value m_value;
};

} // namespace tessaly
