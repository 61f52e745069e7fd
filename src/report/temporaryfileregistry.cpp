#include "temporaryfileregistry.h"

#include <atomic>
#include <cstring>

#ifndef Q_OS_WIN
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr int kSlots = 64;
constexpr int kNameSize = 256;

struct Slot
{
    std::atomic_bool used{false};
    int folder = -1;
    char name[kNameSize];
};

Slot g_slots[kSlots];

#ifndef Q_OS_WIN
void onTermination(int signalNumber)
{
    TemporaryFileRegistry::removeAllNow();
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}
#endif

} // namespace

int TemporaryFileRegistry::add(int folder, const QByteArray &name)
{
    if (name.isEmpty() || name.size() >= kNameSize || name.contains('/'))
        return -1;
    for (int slot = 0; slot < kSlots; ++slot) {
        bool expected = false;
        if (!g_slots[slot].used.compare_exchange_strong(expected, true))
            continue;
        // The first byte goes in last: a handler running meanwhile sees an empty name.
        char *target = g_slots[slot].name;
        g_slots[slot].folder = folder;
        std::memcpy(target + 1, name.constData() + 1, size_t(name.size() - 1));
        target[name.size()] = '\0';
        std::atomic_signal_fence(std::memory_order_seq_cst);
        target[0] = name.at(0);
        return slot;
    }
    return -1;
}

void TemporaryFileRegistry::remove(int slot)
{
    if (slot < 0 || slot >= kSlots)
        return;
    g_slots[slot].name[0] = '\0';
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_slots[slot].used.store(false);
}

void TemporaryFileRegistry::removeAllNow()
{
#ifndef Q_OS_WIN
    for (Slot &slot : g_slots) {
        if (slot.used.load() && slot.name[0] != '\0')
            ::unlinkat(slot.folder, slot.name, 0);
    }
#endif
}

void TemporaryFileRegistry::removeOnTermination()
{
#ifndef Q_OS_WIN
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = onTermination;
        sigemptyset(&action.sa_mask);
        sigaction(signalNumber, &action, nullptr);
    }
#endif
}
