#ifndef TABLERELEASE_H
#define TABLERELEASE_H

#include "usagetable.h"

#include <QtGlobal>

// Frees a large table of rows as quickly as the allocator allows. Freed row by row, the names
// of a table ordered by time go back to the heap in no order: every one is a miss in the
// caches, and the allocator's own tidying afterwards is another, which for two million distinct
// names is a third of a second. Released here, the names are freed in about the order of their
// addresses, the order in which they were allocated.
class TableRelease
{
public:
    // Fewer rows than this are simply cleared.
    static constexpr int LeastRows = 1 << 14;

    // Leaves the table empty. Names other holders still share live on with them, and a list
    // another table shares is left as it is for that table.
    static void release(UsageTable &table);
    static void release(UsageRecordList &rows);

    // Names freed in address order so far, in all threads; lets tests see that large tables
    // take that way.
    static quint64 orderedNames();
};

#endif // TABLERELEASE_H
