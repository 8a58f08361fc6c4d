#pragma once

// Fixed-size byte FIFO between a capture input's delivery thread (the
// writer) and the recorder's encoder thread (the reader).

#include <cstdint>
#include <memory>
#include <mutex>

namespace capdev {

class CRingBuffer {
public:
    // Allocates `capacity` bytes at once; push and pop never allocate.
    explicit CRingBuffer(uint32_t capacity);
    CRingBuffer(const CRingBuffer&) = delete;
    CRingBuffer& operator=(const CRingBuffer&) = delete;

    // Copies as much of `data` as fits. Returns 0 when at least one byte was
    // taken, -1 when the buffer was full (the whole block is dropped). Bytes
    // that did not fit are dropped, counted in DroppedBytes() and reported
    // in *dropped when given. Any thread; holds the mutex for the copy.
    int Push(const void* data, uint32_t bytes, uint32_t* dropped = nullptr);
    // Copies up to `maxBytes` of the oldest data into `out` and sets `*got`.
    // Returns 0, or -1 (and *got = 0) when the buffer is empty. Any thread.
    int Pop(void* out, uint32_t maxBytes, uint32_t* got);

    uint32_t Capacity() const { return m_capacity; }
    // Bytes waiting to be popped.
    uint32_t Count() const;
    // Bytes refused by Push since construction.
    uint64_t DroppedBytes() const;

private:
    const uint32_t m_capacity;
    const std::unique_ptr<uint8_t[]> m_data;  // the storage; contents guarded by m_mutex
    mutable std::mutex m_mutex;
    uint32_t m_read = 0;     // guarded by m_mutex
    uint32_t m_count = 0;    // guarded by m_mutex
    uint64_t m_dropped = 0;  // guarded by m_mutex
};

}  // namespace capdev
