#pragma once

// Output ring of a port: the interface thread puts whole blocks in, the write thread takes
// the contiguous part at the read index and removes it once the device has taken it.
// Not locked itself; the core guards every call with its write lock.

#include <cstdint>
#include <vector>

class TAfCircularBuffer
{
public:
    explicit TAfCircularBuffer(int size);

    int Size() const { return int(m_data.size()); }
    int Used() const;
    int Free() const { return Size() - Used(); }

    // All Count bytes or none: refused when Count < 1 or Count > Free.
    bool Put(const char *data, int count);
    // Drops Count bytes at the read index; refused when Count > Used.
    bool Remove(int count);
    void Clear();

    // The used bytes that lie in one piece from the read index (up to the end of the block).
    const char *ContiguousStart() const { return m_data.data() + m_read; }
    int ContiguousUsed() const;

private:
    std::vector<char> m_data;
    int m_read = 0;
    int m_write = 0;
    bool m_full = false; // equal indexes mean either empty or full
};
