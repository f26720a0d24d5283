#pragma once
#include <cstddef>
#include <memory>

namespace tarsel {

// One chunk of a socket's send queue. Data is appended at Written and taken out at
// Consumed; when everything written has been taken out both counters go back to 0 so
// the chunk is refilled from its start without any copying.
class TBuffer {
public:
    explicit TBuffer(int size);

    void SetBufSize(int n);
    int BufSize() const { return m_capacity; }

    int Write(const void *data, int len);
    int Read(void *dest, int len);
    // Address and count of the unread bytes (nullptr and 0 when empty).
    const char *Peek(int &len) const;
    int Remove(int len);

    int Written() const { return m_written; }
    int Consumed() const { return m_consumed; }
    int Unread() const { return m_written - m_consumed; }
    bool Empty() const { return m_written == m_consumed; }

private:
    void resetWhenDrained();

    std::unique_ptr<char[]> m_block;
    int m_capacity = 0;
    int m_written = 0;
    int m_consumed = 0;
};

} // namespace tarsel
