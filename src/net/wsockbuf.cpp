#include "net/wsockbuf.h"

#include <algorithm>
#include <cstring>

namespace tarsel {

namespace {
constexpr int kDefaultChunk = 1514;
}

TBuffer::TBuffer(int size)
{
    SetBufSize(size);
}

void TBuffer::SetBufSize(int n)
{
    if (n <= 0)
        n = kDefaultChunk;
    if (n == m_capacity)
        return;
    auto block = std::make_unique<char[]>(static_cast<std::size_t>(n));
    if (!Empty()) {
        // A block smaller than the held data would lose bytes (or overrun the copy):
        // such a chunk keeps its block.
        if (n < m_written)
            return;
        std::memcpy(block.get(), m_block.get(), static_cast<std::size_t>(m_written));
    } else {
        m_written = m_consumed = 0;
    }
    m_block = std::move(block);
    m_capacity = n;
}

int TBuffer::Write(const void *data, int len)
{
    const int n = std::clamp(len, 0, m_capacity - m_written);
    if (n > 0) {
        std::memcpy(m_block.get() + m_written, data, static_cast<std::size_t>(n));
        m_written += n;
    }
    return n;
}

int TBuffer::Read(void *dest, int len)
{
    const int n = std::clamp(len, 0, Unread());
    if (n > 0) {
        std::memcpy(dest, m_block.get() + m_consumed, static_cast<std::size_t>(n));
        m_consumed += n;
        resetWhenDrained();
    }
    return n;
}

const char *TBuffer::Peek(int &len) const
{
    len = Unread();
    return len > 0 ? m_block.get() + m_consumed : nullptr;
}

int TBuffer::Remove(int len)
{
    const int n = std::clamp(len, 0, Unread());
    m_consumed += n;
    resetWhenDrained();
    return n;
}

void TBuffer::resetWhenDrained()
{
    if (m_consumed == m_written)
        m_consumed = m_written = 0;
}

} // namespace tarsel
