#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "common/components/audio/mutex_lock_pthreads.h"

TEST(MutexLockPthreads, TryGrabReportsBusyOnlyWhenHeldElsewhere) {
    Mutex_Lock_Pthreads lock;
    bool busy_seen = false;
    lock.grab();
    std::thread other([&] { busy_seen = lock.try_grab(); });
    other.join();
    lock.release();
    EXPECT_TRUE(busy_seen);

    bool busy_after = true;
    std::thread again([&] {
        busy_after = lock.try_grab();
        if (!busy_after) lock.release();
    });
    again.join();
    EXPECT_FALSE(busy_after);
}

TEST(MutexLockPthreads, CreateMutexTypeGivesIndependentLock) {
    Mutex_Lock_Pthreads lock;
    std::unique_ptr<Mutex_Lock> other(lock.create_mutex_type());
    ASSERT_NE(dynamic_cast<Mutex_Lock_Pthreads*>(other.get()), nullptr);
    lock.grab();
    EXPECT_FALSE(other->try_grab());
    other->release();
    lock.release();
}
