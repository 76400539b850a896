#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/components/data/property_bridge.h"

inline std::vector<std::string> property_names(const Property_Bridge_List& list) {
    std::vector<std::string> names;
    for (const Property_Bridge* bridge : list) names.push_back(bridge->get_name());
    return names;
}

// A copy's bridges must edit the copy: set every bridge of `copy` to a distinct value and check
// that `original` keeps what its own bridges read before.
inline void expect_bridges_bound_to_own_fields(const Property_Bridge_List& original,
                                               const Property_Bridge_List& copy) {
    ASSERT_EQ(original.size(), copy.size());
    std::vector<std::string> before;
    for (const Property_Bridge* bridge : original) {
        if (auto* i = dynamic_cast<const Int_Property_Bridge*>(bridge)) before.push_back(std::to_string(i->get()));
        else if (auto* b = dynamic_cast<const Bool_Property_Bridge*>(bridge)) before.push_back(b->get() ? "1" : "0");
        else if (auto* s = dynamic_cast<const String_Property_Bridge*>(bridge)) before.push_back(s->get());
        else if (auto* o = dynamic_cast<const Options_Property_Bridge*>(bridge)) before.push_back(std::to_string(o->get()));
        else before.push_back("?");
    }
    for (size_t k = 0; k < copy.size(); k++) {
        EXPECT_NE(original[k], copy[k]);
        Property_Bridge* bridge = copy[k];
        if (auto* i = dynamic_cast<Int_Property_Bridge*>(bridge)) i->set(i->get() == i->get_min() ? i->get_max() : i->get_min());
        else if (auto* b = dynamic_cast<Bool_Property_Bridge*>(bridge)) b->set(!b->get());
        else if (auto* s = dynamic_cast<String_Property_Bridge*>(bridge)) s->set(s->get() + "x");
        else if (auto* o = dynamic_cast<Options_Property_Bridge*>(bridge)) o->set((o->get() + 1) % o->get_option_count());
    }
    for (size_t k = 0; k < original.size(); k++) {
        const Property_Bridge* bridge = original[k];
        std::string now;
        if (auto* i = dynamic_cast<const Int_Property_Bridge*>(bridge)) now = std::to_string(i->get());
        else if (auto* b = dynamic_cast<const Bool_Property_Bridge*>(bridge)) now = b->get() ? "1" : "0";
        else if (auto* s = dynamic_cast<const String_Property_Bridge*>(bridge)) now = s->get();
        else if (auto* o = dynamic_cast<const Options_Property_Bridge*>(bridge)) now = std::to_string(o->get());
        else now = "?";
        EXPECT_EQ(now, before[k]) << "bridge " << bridge->get_name() << " edits the original";
    }
}
