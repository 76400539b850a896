#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/components/audio/sound_driver.h"
#include "common/components/audio/sound_driver_dummy.h"
#include "common/components/audio/sound_driver_manager.h"
#include "support/constant_mixer.h"

namespace {

std::vector<std::string> journal;

class Journal_Lock : public Mutex_Lock {
public:
    explicit Journal_Lock(std::string name) : name(std::move(name)) {}
    void grab() override { journal.push_back("grab " + name); held = true; }
    bool try_grab() override {
        journal.push_back("try " + name);
        if (busy) return true;
        held = true;
        return false;
    }
    void release() override { journal.push_back("release " + name); held = false; }
    Mutex_Lock* create_mutex_type() override { return new Journal_Lock(name); }
    std::string name;
    bool busy = false;
    bool held = false;
};

class Journal_Driver : public Sound_Driver {
public:
    explicit Journal_Driver(std::string name) : name(std::move(name)) {}
    int get_mix_frequency() override { return mix_frequency; }
    bool get_mix_stereo() override { return mix_stereo; }
    bool get_mix_16bits() override { return mix_16bits; }
    int get_mix_buffer_size() override { return buffer_size; }
    std::string get_name() override { return name; }
    int init() override {
        journal.push_back(name + " init " + std::to_string(mix_frequency) + " " + std::to_string(buffer_size));
        active = open_succeeds;
        return active ? 0 : -2;
    }
    bool finish() override {
        journal.push_back(name + " finish");
        bool was = active;
        active = false;
        return was;
    }
    bool is_active() override { return active; }
    int process() override {
        journal.push_back(name + " process");
        saw_mixers = get_mixer_list() ? (int)get_mixer_list()->size() : -1;
        return process_result;
    }
    void flush() override { journal.push_back(name + " flush"); }
    bool accepts_blocking() override { return blocking; }
    void request_buffer_size(int frames) override {
        journal.push_back(name + " buffer " + std::to_string(frames));
        Sound_Driver::request_buffer_size(frames);
    }

    std::string name;
    bool active = false;
    bool open_succeeds = true;
    bool blocking = true;
    int process_result = 2;
    int saw_mixers = -2;
};

class DriverManager : public ::testing::Test {
protected:
    void SetUp() override {
        driver_manager.unregister_all();
        driver_manager.set_variables_lock(&vars);
        driver_manager.set_mixer_list_lock(&list);
        driver_manager.register_driver(&a);
        driver_manager.register_driver(&b);
        driver_manager.request_mix_frequency(44100);
        driver_manager.request_buffer_size(4096);
        journal.clear();
    }
    void TearDown() override { driver_manager.unregister_all(); }

    Journal_Lock vars{"vars"};
    Journal_Lock list{"list"};
    Journal_Driver a{"a"};
    Journal_Driver b{"b"};
};

}  // namespace

TEST_F(DriverManager, SingletonAndNames) {
    EXPECT_EQ(Sound_Driver_Manager::get_singleton_instance(), &driver_manager);
    EXPECT_EQ(driver_manager.get_amount_of_drivers(), 2);
    EXPECT_EQ(driver_manager.get_driver_name(1), "b");
    EXPECT_EQ(driver_manager.get_driver_name(2), "Invalid driver request");
    EXPECT_EQ(driver_manager.get_driver_name(-1), "Invalid driver request");
}

TEST_F(DriverManager, SecondInstanceIsRefused) {
    testing::internal::CaptureStdout();
    { Sound_Driver_Manager second; }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: common/components/audio/sound_driver_manager.cpp:414:  You cant instance the sound driver "
              "manager more than once!!!\n");
    EXPECT_EQ(Sound_Driver_Manager::get_singleton_instance(), &driver_manager);
}

TEST_F(DriverManager, SelectionIgnoresBadAndSameIndex) {
    driver_manager.set_active_driver(-1);
    driver_manager.set_active_driver(2);
    EXPECT_EQ(driver_manager.get_active_driver(), -1);
    driver_manager.set_active_driver(0);
    EXPECT_EQ(driver_manager.get_active_driver(), 0);
    journal.clear();
    driver_manager.set_active_driver(0);
    EXPECT_TRUE(journal.empty());
    // Selecting a stopped driver does not start anything.
    driver_manager.set_active_driver(1);
    EXPECT_EQ(journal, (std::vector<std::string>{"grab vars", "release vars"}));
    EXPECT_FALSE(driver_manager.is_active_driver_active());
}

TEST_F(DriverManager, SwitchingKeepsTheRunningState) {
    driver_manager.set_active_driver(0);
    driver_manager.reset_active_driver();
    ASSERT_TRUE(a.active);
    journal.clear();
    driver_manager.set_active_driver(1);
    EXPECT_FALSE(a.active);
    EXPECT_TRUE(b.active);
    EXPECT_EQ(journal, (std::vector<std::string>{"grab vars", "a finish", "b buffer 4096", "b init 44100 4096",
                                                 "release vars"}));
}

TEST_F(DriverManager, FormatRequestsRestartOnlyARunningDriver) {
    driver_manager.set_active_driver(0);
    journal.clear();
    driver_manager.request_mix_frequency(22050);
    EXPECT_EQ(journal, (std::vector<std::string>{"grab vars", "release vars"}));
    EXPECT_EQ(driver_manager.get_mix_frequency(), 22050);
    driver_manager.reset_active_driver();
    journal.clear();
    driver_manager.request_mix_frequency(48000);
    EXPECT_EQ(journal, (std::vector<std::string>{"grab vars", "a finish", "a init 48000 4096", "release vars"}));
    journal.clear();
    // The buffer size changes under the mixer-list lock too, taken after the variables lock
    // and released before the driver starts again.
    driver_manager.request_buffer_size(1024);
    EXPECT_EQ(journal, (std::vector<std::string>{"grab vars", "a finish", "grab list", "a buffer 1024",
                                                 "release list", "a init 48000 1024", "release vars"}));
}

TEST_F(DriverManager, GettersFallBackToStoredValuesWithoutDriver) {
    driver_manager.unregister_all();
    driver_manager.request_mix_frequency(32000);
    driver_manager.request_mix_stereo(false);
    EXPECT_EQ(driver_manager.get_mix_frequency(), 32000);
    EXPECT_FALSE(driver_manager.get_mix_stereo());
    EXPECT_FALSE(driver_manager.does_active_driver_perform_disk_write());
    EXPECT_EQ(driver_manager.get_active_driver_disk_write_extension(), "");
    driver_manager.request_mix_stereo(true);
}

TEST_F(DriverManager, PollProtocolReturnValues) {
    EXPECT_EQ(driver_manager.external_poll_active_driver(), 1);  // nothing selected
    driver_manager.set_active_driver(0);
    journal.clear();
    EXPECT_EQ(driver_manager.external_poll_active_driver(), 1);  // selected but stopped
    EXPECT_EQ(journal, (std::vector<std::string>{"grab vars", "release vars"}));

    driver_manager.reset_active_driver();
    journal.clear();
    EXPECT_EQ(driver_manager.external_poll_active_driver(), 0);  // a block was handed over
    // The device is fed outside the lock.
    EXPECT_EQ(journal, (std::vector<std::string>{"grab vars", "a process", "release vars", "a flush"}));

    a.process_result = 1;
    EXPECT_EQ(driver_manager.external_poll_active_driver(), 1);
    a.process_result = 0;  // the driver gave up: it is stopped
    journal.clear();
    EXPECT_EQ(driver_manager.external_poll_active_driver(), 1);
    EXPECT_FALSE(a.active);
    EXPECT_EQ(journal, (std::vector<std::string>{"grab vars", "a process", "release vars", "grab vars", "a finish",
                                                 "release vars"}));
}

TEST_F(DriverManager, NonBlockingDriverRetriesWhenLockIsBusy) {
    a.blocking = false;
    driver_manager.set_active_driver(0);
    driver_manager.reset_active_driver();
    vars.busy = true;
    journal.clear();
    EXPECT_EQ(driver_manager.external_poll_active_driver(), 0);
    EXPECT_EQ(journal, (std::vector<std::string>{"try vars"}));
    vars.busy = false;
    journal.clear();
    EXPECT_EQ(driver_manager.external_poll_active_driver(), 0);
    EXPECT_EQ(journal, (std::vector<std::string>{"try vars", "a process", "release vars", "a flush"}));
}

TEST_F(DriverManager, MixersAreListedAndGivenTheRate) {
    Constant_Mixer m1(1, 1), m2(2, 2);
    driver_manager.set_active_driver(0);
    driver_manager.request_mix_frequency(48000);
    journal.clear();
    driver_manager.add_mixer(&m1);
    EXPECT_EQ(journal, (std::vector<std::string>{"grab vars", "grab list", "release list", "release vars"}));
    EXPECT_EQ(m1.frequency, 48000.0f);
    driver_manager.add_mixer(&m2);
    driver_manager.add_mixer(&m1);
    driver_manager.reset_active_driver();
    driver_manager.external_poll_active_driver();
    EXPECT_EQ(a.saw_mixers, 3);
    driver_manager.remove_mixer(&m1);  // every occurrence
    driver_manager.external_poll_active_driver();
    EXPECT_EQ(a.saw_mixers, 1);
}

TEST_F(DriverManager, CallbackDrivenDriverIsNotPolledByTheThread) {
    class Callback_Driver : public Journal_Driver {
    public:
        Callback_Driver() : Journal_Driver("cb") { uses_callback = 1; }
    } cb;
    driver_manager.register_driver(&cb);
    driver_manager.set_active_driver(2);
    driver_manager.reset_active_driver();
    journal.clear();
    EXPECT_EQ(driver_manager.external_poll_active_driver(), 1);
    EXPECT_TRUE(journal.empty());
    cb.callback_signal.emit();  // the device asks for a block
    EXPECT_EQ(journal, (std::vector<std::string>{"grab vars", "cb process", "release vars", "cb flush"}));

    driver_manager.set_active_driver(0);
    testing::internal::CaptureStdout();
    a.callback_signal.emit();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: common/components/audio/sound_driver_manager.cpp:77: No callbacks allowed for a polling driver!!\n");
    driver_manager.unregister_all();
}

TEST_F(DriverManager, DummyDriverNeverAsksMixersForSamples) {
    Sound_Driver_Dummy dummy;
    Constant_Mixer m(5, 5);
    driver_manager.register_driver(&dummy);
    driver_manager.add_mixer(&m);
    driver_manager.set_active_driver(2);
    driver_manager.reset_active_driver();
    EXPECT_TRUE(dummy.is_active());
    EXPECT_EQ(dummy.get_name(), "Dummy Sound Driver");
    for (int i = 0; i < 10; i++) EXPECT_EQ(driver_manager.external_poll_active_driver(), 1);
    EXPECT_EQ(m.calls, 0);
    driver_manager.unregister_all();
}
