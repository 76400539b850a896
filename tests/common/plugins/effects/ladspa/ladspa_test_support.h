#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "common/components/data/property_bridge.h"

// The installed example plug-ins from Debian's ladspa-sdk.
inline const std::string AMP_LIBRARY = "/usr/lib/ladspa/amp.so";
inline const std::string DELAY_LIBRARY = "/usr/lib/ladspa/delay.so";

#define REQUIRE_INSTALLED_PLUGIN(path)                                                      \
    if (access((path).c_str(), R_OK) != 0)                                                  \
    GTEST_SKIP() << (path) << " is not installed (scripts/setup.sh installs ladspa-sdk)"

// Sets or clears LADSPA_PATH for one scope and restores it afterwards.
class Ladspa_Path_Override {
public:
    explicit Ladspa_Path_Override(const char* value) {
        if (const char* old = std::getenv("LADSPA_PATH")) saved = old;
        if (value) setenv("LADSPA_PATH", value, 1);
        else unsetenv("LADSPA_PATH");
    }
    ~Ladspa_Path_Override() {
        if (saved) setenv("LADSPA_PATH", saved->c_str(), 1);
        else unsetenv("LADSPA_PATH");
    }

private:
    std::optional<std::string> saved;
};

// Reads the counters the test plug-in exports; shares the effect's copy of the library.
class Test_Plugin_Counters {
public:
    Test_Plugin_Counters() : library(dlopen(WENDMOOR_TEST_LADSPA_PLUGIN, RTLD_NOW)) {}
    ~Test_Plugin_Counters() {
        if (library) dlclose(library);
    }
    int live_instances() { return call<int>("wendmoor_test_live_instances"); }
    int activations() { return call<int>("wendmoor_test_activations"); }
    unsigned long last_instantiate_rate() { return call<unsigned long>("wendmoor_test_last_instantiate_rate"); }
    float last_rate_port() { return call<float>("wendmoor_test_last_rate_port"); }

private:
    template <typename T>
    T call(const char* symbol) {
        auto f = reinterpret_cast<T (*)()>(dlsym(library, symbol));
        return f ? f() : T();
    }
    void* library;
};

template <typename Bridge>
Bridge* property(Property_Bridge_List& list, size_t i) {
    EXPECT_LT(i, list.size());
    return i < list.size() ? dynamic_cast<Bridge*>(list[i]) : nullptr;
}
