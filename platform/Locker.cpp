#include "platform/Locker.h"

BLocker::BLocker()
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&mutex_, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

BLocker::~BLocker()
{
    pthread_mutex_destroy(&mutex_);
}

bool BLocker::Lock()
{
    return pthread_mutex_lock(&mutex_) == 0;
}

void BLocker::Unlock()
{
    pthread_mutex_unlock(&mutex_);
}
