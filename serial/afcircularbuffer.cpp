#include "afcircularbuffer.h"

#include <cstring>

TAfCircularBuffer::TAfCircularBuffer(int size) : m_data(size_t(size > 0 ? size : 0)) {}

int TAfCircularBuffer::Used() const
{
    if (m_full)
        return Size();
    if (m_write >= m_read)
        return m_write - m_read;
    return m_write + Size() - m_read;
}

int TAfCircularBuffer::ContiguousUsed() const
{
    if (m_full || m_write < m_read)
        return Size() - m_read;
    return m_write - m_read;
}

bool TAfCircularBuffer::Put(const char *data, int count)
{
    if (count < 1 || count > Free())
        return false;
    const int first = count < Size() - m_write ? count : Size() - m_write;
    std::memcpy(m_data.data() + m_write, data, size_t(first));
    if (count > first)
        std::memcpy(m_data.data(), data + first, size_t(count - first));
    m_write = (m_write + count) % Size();
    m_full = m_read == m_write;
    return true;
}

bool TAfCircularBuffer::Remove(int count)
{
    if (count < 0 || count > Used())
        return false;
    if (Size() > 0)
        m_read = (m_read + count) % Size();
    if (count > 0)
        m_full = false;
    return true;
}

void TAfCircularBuffer::Clear()
{
    m_read = 0;
    m_write = 0;
    m_full = false;
}
