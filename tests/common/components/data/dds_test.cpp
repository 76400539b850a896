#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/components/data/dds.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(DDS, SettersAndGettersKeepEachType) {
    DDS t;
    int block_owner = 7;
    const unsigned char bytes[3] = {9, 8, 7};
    t.set_int_var("i", -42);
    t.set_float_var("f", 1.5f);
    t.set_str_var("s", "text");
    t.set_pointer_var("p", &block_owner);
    t.set_data_var("d", bytes, 3);
    t.set_int_array_var("ia", {1, 2, 3});
    t.set_str_array_var("sa", {"a", "bc"});
    t.set_float_array_var("fa", {0.25f});
    DDS inner;
    inner.set_int_var("x", 5);
    t.set_dynamic_data_struct_var("t", inner);
    VectorPointer<DDS> list;
    list.push_back(new DDS(inner));
    t.set_dynamic_data_struct_array_var("ta", list);

    EXPECT_EQ(t.get_var_count(), 10);
    EXPECT_EQ(t.get_int_var("i"), -42);
    EXPECT_EQ(t.get_float_var("f"), 1.5f);
    EXPECT_EQ(t.get_str_var("s"), "text");
    EXPECT_EQ(t.get_pointer_var("p"), &block_owner);
    ASSERT_EQ(t.get_data_var_size("d"), 3);
    EXPECT_EQ(std::memcmp(t.get_data_var("d"), bytes, 3), 0);
    EXPECT_EQ(t.get_int_array_var("ia"), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(t.get_str_array_var("sa"), (std::vector<std::string>{"a", "bc"}));
    EXPECT_EQ(t.get_float_array_var("fa"), (std::vector<float>{0.25f}));
    ASSERT_NE(t.get_dynamic_data_struct_var("t"), nullptr);
    EXPECT_EQ(t.get_dynamic_data_struct_var("t")->get_int_var("x"), 5);
    ASSERT_EQ(t.get_dynamic_data_struct_array_var("ta").size(), 1u);
    EXPECT_EQ(t.get_dynamic_data_struct_array_var("ta")[0]->get_int_var("x"), 5);

    EXPECT_TRUE(t.is_var("fa"));
    EXPECT_TRUE(t.is_var("fa", DDS::TYPE_FLOAT_ARRAY));
    EXPECT_FALSE(t.is_var("fa", DDS::TYPE_INT_ARRAY));
    EXPECT_EQ(t.get_var_type("ta"), DDS::TYPE_DDS_ARRAY);

    unsigned char copy[3] = {};
    t.write_data_var("d", copy);
    EXPECT_EQ(std::memcmp(copy, bytes, 3), 0);

    // Same type: the value is replaced.
    t.set_int_var("i", 3);
    t.set_data_var("d", bytes, 1);
    EXPECT_EQ(t.get_int_var("i"), 3);
    EXPECT_EQ(t.get_data_var_size("d"), 1);
}

TEST(DDS, ChangingTheTypeIsRefusedUntilDeleted) {
    DDS t;
    t.set_str_var("name", "keep");
    CaptureStdout();
    t.set_int_var("name", 1);
    std::string out = GetCapturedStdout();
    EXPECT_EQ(t.get_str_var("name"), "keep");
    EXPECT_EQ(t.get_var_type("name"), DDS::TYPE_STRING);
    EXPECT_NE(out.find("Error: common/components/data/dds:"), std::string::npos) << out;
    EXPECT_NE(out.find(": attempt to change the type of variable '\n"), std::string::npos) << out;

    t.set_int_var("n", 4);
    CaptureStdout();
    t.set_str_var("n", "x");
    t.set_data_var("n", "ab", 2);
    out = GetCapturedStdout();
    EXPECT_EQ(t.get_int_var("n"), 4);
    EXPECT_NE(out.find("attempt to change the type of variable `n' from str->num! Delete it first!"),
              std::string::npos)
        << out;

    t.delete_var("n");
    EXPECT_FALSE(t.is_var("n"));
    t.set_str_var("n", "now a string");
    EXPECT_EQ(t.get_str_var("n"), "now a string");
}

TEST(DDS, MissingVariablesGiveNeutralValuesAndErrorLines) {
    DDS t;
    CaptureStdout();
    EXPECT_EQ(t.get_int_var("q"), 0);
    EXPECT_EQ(t.get_float_var("q"), 0.0f);
    EXPECT_EQ(t.get_str_var("q"), "<ERROR!>");
    EXPECT_EQ(t.get_pointer_var("q"), nullptr);
    EXPECT_EQ(t.get_data_var("q"), nullptr);
    EXPECT_EQ(t.get_data_var_size("q"), 0);
    unsigned char untouched = 0x5A;
    t.write_data_var("q", &untouched);
    EXPECT_TRUE(t.get_int_array_var("q").empty());
    EXPECT_TRUE(t.get_str_array_var("q").empty());
    EXPECT_TRUE(t.get_float_array_var("q").empty());
    EXPECT_EQ(t.get_dynamic_data_struct_var("q"), nullptr);
    EXPECT_TRUE(t.get_dynamic_data_struct_array_var("q").empty());
    EXPECT_EQ(t.get_var_type("q"), 10);
    t.delete_var("q");
    EXPECT_EQ(t.get_var_name(0), "");
    const std::string out = GetCapturedStdout();

    EXPECT_EQ(untouched, 0x5A);
    EXPECT_EQ(t.get_var_count(), 0);
    for (const char* line : {"attempt to retrieve undefined numeric variable: q.",
                             "attempt to retrieve undefined float variable: q.",
                             "attempt to retrieve undefined string variable: q.",
                             "attempt to retrieve undefined pointer variable: q.",
                             "attempt to retrieve undefined data variable: q.",
                             "attempt to retrieve undefined data size of variable: q.",
                             "attempt to get type of unexisting variable: q.",
                             "attempt to delete undefined string variable: q.",
                             "Get variable name, index out of range!"})
        EXPECT_NE(out.find(line), std::string::npos) << line;
}

TEST(DDS, EmptyArrayForMissingNameDoesNotLeakEarlierWrites) {
    DDS t;
    CaptureStdout();
    t.get_int_array_var("none").push_back(3);
    const bool empty_again = t.get_int_array_var("none").empty();
    GetCapturedStdout();
    EXPECT_TRUE(empty_again);
    EXPECT_FALSE(t.is_var("none"));
}

TEST(DDS, VarNamesCoverEveryVariableOnce) {
    DDS t;
    t.set_int_var("a", 1);
    t.set_int_var("b", 2);
    t.set_int_var("c", 3);
    std::vector<std::string> names;
    for (int i = 0; i < t.get_var_count(); ++i) names.push_back(t.get_var_name(i));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c"}));
    int visited = 0;
    for (auto it = t.get_iterator_begin(); it != t.get_iterator_end(); ++it) ++visited;
    EXPECT_EQ(visited, 3);
    t.clear();
    EXPECT_EQ(t.get_var_count(), 0);
}

namespace {

DDS make_nested() {
    DDS leaf;
    leaf.set_int_var("v", 1);
    const unsigned char block[2] = {1, 2};
    leaf.set_data_var("d", block, 2);
    VectorPointer<DDS> list;
    list.push_back(new DDS(leaf));
    list.push_back(new DDS(leaf));
    DDS root;
    root.set_dynamic_data_struct_var("leaf", leaf);
    root.set_dynamic_data_struct_array_var("list", list);
    return root;
}

} // namespace

TEST(DDS, CopiesAreDeep) {
    DDS original = make_nested();
    DDS copy(original);
    DDS assigned;
    assigned.set_int_var("old", 1);
    assigned = original;
    EXPECT_FALSE(assigned.is_var("old"));

    for (DDS* c : {&copy, &assigned}) {
        ASSERT_NE(c->get_dynamic_data_struct_var("leaf"), original.get_dynamic_data_struct_var("leaf"));
        c->get_dynamic_data_struct_var("leaf")->set_int_var("v", 99);
        c->get_dynamic_data_struct_array_var("list")[1]->set_int_var("v", 77);
        c->get_dynamic_data_struct_var("leaf")->set_data_var("d", "zz", 2);
        EXPECT_NE(c->get_dynamic_data_struct_var("leaf")->get_data_var("d"),
                  original.get_dynamic_data_struct_var("leaf")->get_data_var("d"));
    }
    EXPECT_EQ(original.get_dynamic_data_struct_var("leaf")->get_int_var("v"), 1);
    EXPECT_EQ(original.get_dynamic_data_struct_array_var("list")[1]->get_int_var("v"), 1);
    EXPECT_EQ(static_cast<const unsigned char*>(
                  original.get_dynamic_data_struct_var("leaf")->get_data_var("d"))[0],
              1);
}

TEST(DDS, SettersStoreCopiesOfTreesAndTreeLists) {
    DDS inner;
    inner.set_int_var("x", 1);
    VectorPointer<DDS> list;
    list.push_back(new DDS(inner));
    DDS t;
    t.set_dynamic_data_struct_var("t", inner);
    t.set_dynamic_data_struct_array_var("l", list);
    inner.set_int_var("x", 2);
    list[0]->set_int_var("x", 3);
    EXPECT_EQ(t.get_dynamic_data_struct_var("t")->get_int_var("x"), 1);
    EXPECT_EQ(t.get_dynamic_data_struct_array_var("l")[0]->get_int_var("x"), 1);

    // Storing a tree's own sub-tree back into it must not read freed memory.
    t.set_dynamic_data_struct_var("t", *t.get_dynamic_data_struct_var("t"));
    EXPECT_EQ(t.get_dynamic_data_struct_var("t")->get_int_var("x"), 1);
    t.set_dynamic_data_struct_array_var("l", t.get_dynamic_data_struct_array_var("l"));
    EXPECT_EQ(t.get_dynamic_data_struct_array_var("l").size(), 1u);
}

TEST(DDS, VectorPointerCopyFromReplacesWithDeepCopies) {
    VectorPointer<DDS> a;
    a.push_back(new DDS());
    a[0]->set_int_var("k", 1);
    VectorPointer<DDS> b;
    b.push_back(new DDS());
    b.push_back(new DDS());
    b.copy_from(a);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_NE(b[0], a[0]);
    b[0]->set_int_var("k", 2);
    EXPECT_EQ(a[0]->get_int_var("k"), 1);
    b.erase(0);
    EXPECT_TRUE(b.empty());
}
