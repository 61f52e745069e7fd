#include "readcancel.h"

namespace {

thread_local const std::atomic_bool *currentFlag = nullptr;

} // namespace

ReadCancel::Scope::Scope(const std::atomic_bool *flag) : m_previous(currentFlag)
{
    currentFlag = flag;
}

ReadCancel::Scope::~Scope()
{
    currentFlag = m_previous;
}

const std::atomic_bool *ReadCancel::current()
{
    return currentFlag;
}

bool ReadCancel::requested()
{
    return currentFlag && currentFlag->load(std::memory_order_relaxed);
}
