#pragma once

#include <pthread.h>

#include "common/components/audio/mutex_lock.h"

class Mutex_Lock_Pthreads : public Mutex_Lock {
public:
    Mutex_Lock_Pthreads() { pthread_mutex_init(&mutex, nullptr); }
    ~Mutex_Lock_Pthreads() override { pthread_mutex_destroy(&mutex); }
    Mutex_Lock_Pthreads(const Mutex_Lock_Pthreads&) = delete;
    Mutex_Lock_Pthreads& operator=(const Mutex_Lock_Pthreads&) = delete;

    void grab() override { pthread_mutex_lock(&mutex); }
    bool try_grab() override { return pthread_mutex_trylock(&mutex) != 0; }
    void release() override { pthread_mutex_unlock(&mutex); }
    Mutex_Lock* create_mutex_type() override { return new Mutex_Lock_Pthreads; }

private:
    pthread_mutex_t mutex;
};
