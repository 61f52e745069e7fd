#include "temporaryfileregistry.h"

#include <QFile>

#include <atomic>
#include <cstring>

#ifndef Q_OS_WIN
#include <csignal>
#include <unistd.h>
#endif

namespace {

constexpr int kSlots = 64;
constexpr int kPathSize = 4096;

struct Slot
{
    std::atomic_bool used{false};
    char path[kPathSize];
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

int TemporaryFileRegistry::add(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (encoded.isEmpty() || encoded.size() >= kPathSize)
        return -1;
    for (int slot = 0; slot < kSlots; ++slot) {
        bool expected = false;
        if (!g_slots[slot].used.compare_exchange_strong(expected, true))
            continue;
        // The first byte goes in last: a handler running meanwhile sees an empty path.
        char *target = g_slots[slot].path;
        std::memcpy(target + 1, encoded.constData() + 1, size_t(encoded.size() - 1));
        target[encoded.size()] = '\0';
        std::atomic_signal_fence(std::memory_order_seq_cst);
        target[0] = encoded.at(0);
        return slot;
    }
    return -1;
}

void TemporaryFileRegistry::remove(int slot)
{
    if (slot < 0 || slot >= kSlots)
        return;
    g_slots[slot].path[0] = '\0';
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_slots[slot].used.store(false);
}

void TemporaryFileRegistry::removeAllNow()
{
#ifndef Q_OS_WIN
    for (Slot &slot : g_slots) {
        if (slot.used.load() && slot.path[0] != '\0')
            ::unlink(slot.path);
    }
    for (Slot &slot : g_slots) {
        if (slot.used.load() && slot.path[0] != '\0')
            ::rmdir(slot.path);
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
