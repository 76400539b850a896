#pragma once

// A lock shared between the interface and audio threads. A null lock pointer
// anywhere in the program means "no locking".
class Mutex_Lock {
public:
    virtual void grab() = 0;
    virtual bool try_grab() = 0;  // true when another thread holds it and it was NOT taken
    virtual void release() = 0;
    virtual Mutex_Lock* create_mutex_type() = 0;  // a new lock of the same kind
    virtual ~Mutex_Lock() = default;
};

// Scoped grab of a possibly null lock.
class Mutex_Lock_Guard {
public:
    explicit Mutex_Lock_Guard(Mutex_Lock* lock) : lock(lock) {
        if (lock) lock->grab();
    }
    ~Mutex_Lock_Guard() {
        if (lock) lock->release();
    }
    Mutex_Lock_Guard(const Mutex_Lock_Guard&) = delete;
    Mutex_Lock_Guard& operator=(const Mutex_Lock_Guard&) = delete;

private:
    Mutex_Lock* lock;
};
