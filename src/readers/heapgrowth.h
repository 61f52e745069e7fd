#ifndef HEAPGROWTH_H
#define HEAPGROWTH_H

#include <QtGlobal>

// The names read from a large log of distinct users and dongles are millions of small
// allocations, which the C library carves from its heap as it grows. Grown the usual way, some
// 132 KiB at a time, the heap is faulted in one 4 KiB page after another: on a virtual machine
// a third of reading such a log. While a HeapGrowth lives, the heap grows in steps of whole huge
// pages' worth, and every step is advised to use huge pages (see HugePages).
//
// Only the C library's main heap, grown with brk on Linux, is watched; elsewhere (another
// allocator, another thread's heap, another system) nothing is done and nothing changes. Growths
// may live in several threads at once: the usual step comes back when the last one ends.
class HeapGrowth
{
public:
    // A read of fewer bytes than this leaves the heap as it is.
    static constexpr qint64 LeastBytes = qint64(16) << 20;

    // expectedBytes: about how much the read will allocate (the size of the file read will do).
    explicit HeapGrowth(qint64 expectedBytes);
    ~HeapGrowth();
    HeapGrowth(const HeapGrowth &) = delete;
    HeapGrowth &operator=(const HeapGrowth &) = delete;

    // To be called once a line: every CallsPerLook-th call advises what the heap gained since
    // the last look, with no system call unless it grew. What the heap gains between two looks
    // (some 128 KiB of names for a log of short lines) is faulted in small pages.
    void watch()
    {
        if (--m_untilLook == 0)
            look();
    }
    static constexpr int CallsPerLook = 1024;

    bool isActive() const { return m_active; }
    // Bytes of heap advised so far by all growths of the process, and how many times active
    // growths looked at the heap: let tests see that huge pages are asked for, and that a
    // large read watches. (Whether a read grows the heap at all depends on what the heap kept
    // of earlier work.)
    static quint64 advisedBytes();
    static quint64 looks();

private:
    void look();

    bool m_active = false;
    int m_untilLook = CallsPerLook;
};

#endif // HEAPGROWTH_H
