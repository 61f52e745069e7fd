#ifndef READCANCEL_H
#define READCANCEL_H

#include <atomic>

// A request to stop reading logs, seen by every reader on the thread that reads: a log of a
// gigabyte must not keep a cancelled export waiting. A read that stops early gives what it has
// read so far; the export that asked knows it cancelled and keeps none of it.
class ReadCancel
{
public:
    // While a Scope lives, reading on this thread stops once *flag is true. Scopes nest; a null
    // flag never stops anything.
    class Scope
    {
    public:
        explicit Scope(const std::atomic_bool *flag);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        const std::atomic_bool *m_previous;
    };

    // The flag of this thread's innermost scope, to hand to a thread that reads a share.
    static const std::atomic_bool *current();
    static bool requested();
};

#endif // READCANCEL_H
