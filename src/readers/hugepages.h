#ifndef HUGEPAGES_H
#define HUGEPAGES_H

#include <cstddef>

// Asks the system to back a large buffer with huge pages where it can (Linux, transparent huge
// pages in "madvise" or "always" mode): a table of millions of rows then costs a few dozen page
// faults as it is first written instead of tens of thousands, which on a virtual machine is a
// fifth of reading a large log. Only the whole 2 MB pages inside the buffer are named; the
// contents are untouched, and elsewhere, or for small buffers, nothing is done.
class HugePages
{
public:
    static void advise(const void *data, std::size_t bytes);
};

#endif // HUGEPAGES_H
