#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "common/components/data/dds.h"
#include "common/components/data/dds_packer.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

using Bytes = std::vector<unsigned char>;

// Small builders for expected packed bytes.
Bytes& operator<<(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
    return b;
}
Bytes& operator<<(Bytes& b, const std::string& s) {
    b << static_cast<std::uint32_t>(s.size());
    b.insert(b.end(), s.begin(), s.end());
    return b;
}
Bytes& byte(Bytes& b, unsigned char v) {
    b.push_back(v);
    return b;
}
Bytes header(const std::string& name, DDS::Data_Types type) {
    Bytes b;
    b << name;
    byte(b, static_cast<unsigned char>(type));
    return b;
}
Bytes append(Bytes a, const Bytes& tail) {
    a.insert(a.end(), tail.begin(), tail.end());
    return a;
}

Bytes pack(const DDS& t) {
    Bytes out;
    DDSPacker::pack(&t, out, 0);
    return out;
}

// Unpacks quietly, returning the result and what was printed.
bool unpack(DDS& t, const Bytes& b, std::string* printed = nullptr) {
    CaptureStdout();
    const bool ok = DDSPacker::unpack(&t, b.data(), static_cast<unsigned>(b.size()));
    const std::string out = GetCapturedStdout();
    if (printed) *printed = out;
    return ok;
}

} // namespace

TEST(DDSPacker, SingleIntPacksToTenBytes) {
    DDS t;
    t.set_int_var("a", 1);
    EXPECT_EQ(pack(t), (Bytes{1, 0, 0, 0, 0x61, 0, 1, 0, 0, 0}));
    EXPECT_TRUE(pack(DDS()).empty());
}

TEST(DDSPacker, EmptyNestedTreePacksAndUnpacks) {
    DDS t;
    t.set_dynamic_data_struct_var("t", DDS());
    const Bytes packed = pack(t);
    EXPECT_EQ(packed, (Bytes{1, 0, 0, 0, 0x74, 8, 0, 0, 0, 0}));
    DDS back;
    ASSERT_TRUE(unpack(back, packed));
    ASSERT_TRUE(back.is_var("t", DDS::TYPE_DDS));
    ASSERT_NE(back.get_dynamic_data_struct_var("t"), nullptr);
    EXPECT_EQ(back.get_dynamic_data_struct_var("t")->get_var_count(), 0);
}

TEST(DDSPacker, EachTypeHasItsLayout) {
    Bytes expected;
    DDS t;

    t.set_float_var("f", -2.0f);
    expected = header("f", DDS::TYPE_FLOAT);
    expected << 0xC0000000u;
    EXPECT_EQ(pack(t), expected);

    t.clear();
    t.set_int_var("neg", -2);
    expected = header("neg", DDS::TYPE_INT);
    expected << 0xFFFFFFFEu;
    EXPECT_EQ(pack(t), expected);

    t.clear();
    t.set_str_var("s", "hey");
    expected = header("s", DDS::TYPE_STRING);
    expected << std::string("hey");
    EXPECT_EQ(pack(t), expected);

    t.clear();
    t.set_pointer_var("p", reinterpret_cast<void*>(std::uintptr_t{0x12345678}));
    expected = header("p", DDS::TYPE_POINTER);
    expected << 0x12345678u;
    EXPECT_EQ(pack(t), expected);

    t.clear();
    const unsigned char block[3] = {0xAA, 0, 0xBB};
    t.set_data_var("d", block, 3);
    expected = header("d", DDS::TYPE_DATA);
    expected << 3u;
    expected.insert(expected.end(), block, block + 3);
    EXPECT_EQ(pack(t), expected);

    t.clear();
    t.set_int_array_var("ia", {1, -1});
    expected = header("ia", DDS::TYPE_INT_ARRAY);
    expected << 2u << 1u << 0xFFFFFFFFu;
    EXPECT_EQ(pack(t), expected);

    t.clear();
    t.set_str_array_var("sa", {"ab", ""});
    expected = header("sa", DDS::TYPE_STRING_ARRAY);
    expected << 2u << std::string("ab") << std::string("");
    EXPECT_EQ(pack(t), expected);

    t.clear();
    t.set_float_array_var("fa", {1.0f, 0.5f});
    expected = header("fa", DDS::TYPE_FLOAT_ARRAY);
    expected << 2u << 0x3F800000u << 0x3F000000u;
    EXPECT_EQ(pack(t), expected);

    DDS inner;
    inner.set_int_var("a", 1);
    const Bytes inner_packed{1, 0, 0, 0, 0x61, 0, 1, 0, 0, 0};

    t.clear();
    t.set_dynamic_data_struct_var("t", inner);
    expected = header("t", DDS::TYPE_DDS);
    expected << 10u;
    EXPECT_EQ(pack(t), append(expected, inner_packed));

    t.clear();
    VectorPointer<DDS> list;
    list.push_back(new DDS(inner));
    list.push_back(new DDS());
    t.set_dynamic_data_struct_array_var("l", list);
    expected = header("l", DDS::TYPE_DDS_ARRAY);
    expected << 2u << 10u;
    expected = append(expected, inner_packed);
    expected << 0u;
    EXPECT_EQ(pack(t), expected);
}

TEST(DDSPacker, PackWritesFromTheGivenOffset) {
    DDS t;
    t.set_int_var("a", 1);
    Bytes out{0xEE, 0xEE};
    DDSPacker::pack(&t, out, 2);
    EXPECT_EQ(out, (Bytes{0xEE, 0xEE, 1, 0, 0, 0, 0x61, 0, 1, 0, 0, 0}));
}

TEST(DDSPacker, FloatBitPatternsSurviveIncludingNaN) {
    const std::vector<std::uint32_t> patterns = {
        0x7FC00000u, // quiet NaN
        0x7FA00001u, // signalling NaN with payload
        0xFFC12345u, // negative NaN with payload
        0x80000000u, // -0
        0x7F800000u, // +inf
        0x00000001u, // smallest denormal
    };
    DDS t;
    std::vector<float> values;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        const float f = std::bit_cast<float>(patterns[i]);
        t.set_float_var("f" + std::to_string(i), f);
        values.push_back(f);
    }
    t.set_float_array_var("all", values);

    DDS back;
    ASSERT_TRUE(unpack(back, pack(t)));
    for (std::size_t i = 0; i < patterns.size(); ++i)
        EXPECT_EQ(std::bit_cast<std::uint32_t>(back.get_float_var("f" + std::to_string(i))), patterns[i]) << i;
    const std::vector<float>& all = back.get_float_array_var("all");
    ASSERT_EQ(all.size(), patterns.size());
    for (std::size_t i = 0; i < patterns.size(); ++i)
        EXPECT_EQ(std::bit_cast<std::uint32_t>(all[i]), patterns[i]) << i;
}

TEST(DDSPacker, NestedTreesAndArraysRoundTrip) {
    DDS prop;
    prop.set_str_var("name", "gain");
    prop.set_str_var("type", "float");
    prop.set_float_var("value", 0.75f);
    VectorPointer<DDS> controls;
    controls.push_back(new DDS(prop));
    DDS effect;
    effect.set_str_var("name", "Chorus");
    effect.set_dynamic_data_struct_array_var("controls", controls);
    VectorPointer<DDS> effects;
    effects.push_back(new DDS(effect));
    effects.push_back(new DDS());
    DDS chain;
    chain.set_dynamic_data_struct_array_var("effects", effects);
    DDS root;
    root.set_dynamic_data_struct_var("effect_chain", chain);
    root.set_int_array_var("order_list", std::vector<int>(255, 255));
    root.set_str_array_var("names", {"one", "two", ""});
    const unsigned char block[4] = {0, 1, 2, 3};
    root.set_data_var("data", block, 4);

    DDS back;
    ASSERT_TRUE(unpack(back, pack(root)));
    EXPECT_EQ(back.get_var_count(), 4);
    EXPECT_EQ(back.get_int_array_var("order_list"), std::vector<int>(255, 255));
    EXPECT_EQ(back.get_str_array_var("names"), (std::vector<std::string>{"one", "two", ""}));
    ASSERT_EQ(back.get_data_var_size("data"), 4);
    EXPECT_EQ(static_cast<const unsigned char*>(back.get_data_var("data"))[3], 3);
    DDS* c = back.get_dynamic_data_struct_var("effect_chain");
    ASSERT_NE(c, nullptr);
    VectorPointer<DDS>& e = c->get_dynamic_data_struct_array_var("effects");
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[1]->get_var_count(), 0);
    EXPECT_EQ(e[0]->get_str_var("name"), "Chorus");
    VectorPointer<DDS>& ctl = e[0]->get_dynamic_data_struct_array_var("controls");
    ASSERT_EQ(ctl.size(), 1u);
    EXPECT_EQ(ctl[0]->get_str_var("type"), "float");
    EXPECT_EQ(ctl[0]->get_float_var("value"), 0.75f);
    // Repacking gives a buffer of the same size (variable order may differ).
    EXPECT_EQ(pack(back).size(), pack(root).size());
}

TEST(DDSPacker, EmptyInputSucceedsWithoutChange) {
    DDS t;
    t.set_int_var("k", 1);
    EXPECT_TRUE(DDSPacker::unpack(&t, nullptr, 10));
    const unsigned char one = 0;
    EXPECT_TRUE(DDSPacker::unpack(&t, &one, 0));
    EXPECT_EQ(t.get_var_count(), 1);
}

TEST(DDSPacker, NamesAndStringsEndAtTheFirstNul) {
    Bytes b;
    b << std::string("ab\0cd", 5);
    byte(b, DDS::TYPE_STRING);
    b << std::string("x\0yz", 4);
    b = append(b, Bytes{1, 0, 0, 0, 0x61, 0, 7, 0, 0, 0});
    DDS t;
    ASSERT_TRUE(unpack(t, b));
    EXPECT_EQ(t.get_str_var("ab"), "x");
    EXPECT_EQ(t.get_int_var("a"), 7);
}

TEST(DDSPacker, TruncatedDataBlockFailsAndKeepsEarlierRecords) {
    Bytes b{1, 0, 0, 0, 0x61, 0, 1, 0, 0, 0};
    const std::size_t bad_at = b.size();
    b = append(b, header("blk", DDS::TYPE_DATA));
    b << 100u;
    b.insert(b.end(), 10, 0x11);
    DDS t;
    std::string out;
    EXPECT_FALSE(unpack(t, b, &out));
    EXPECT_NE(out.find("Error: common/components/data/dds_packer:"), std::string::npos) << out;
    EXPECT_NE(out.find(": dds unpack: error loading var at " + std::to_string(bad_at) + "\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(t.get_var_count(), 1);
    EXPECT_EQ(t.get_int_var("a"), 1);
}

TEST(DDSPacker, SizesBeyondTheInputFailCleanly) {
    const Bytes good{1, 0, 0, 0, 0x61, 0, 1, 0, 0, 0};
    std::vector<Bytes> bad;
    bad.push_back(Bytes{1, 0, 0});                                  // name length cut short
    bad.push_back(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x61, 0, 1, 0});     // name longer than the input
    bad.push_back(Bytes{0xFC, 0xFF, 0xFF, 0xFF, 0x61, 0, 1, 0});     // length that wraps 32 bits
    bad.push_back(Bytes{1, 0, 0, 0, 0x61});                          // no type byte
    bad.push_back(Bytes{1, 0, 0, 0, 0x61, 0});                       // nothing after the type
    bad.push_back(Bytes{1, 0, 0, 0, 0x61, 0, 1, 0});                 // int cut short
    bad.push_back(append(header("s", DDS::TYPE_STRING), Bytes{9, 0, 0, 0, 'a'}));
    bad.push_back(append(header("a", DDS::TYPE_INT_ARRAY), Bytes{1, 0, 0, 0x40, 1, 2, 3, 4})); // count*4 wraps
    bad.push_back(append(header("a", DDS::TYPE_FLOAT_ARRAY), Bytes{3, 0, 0, 0, 1, 2, 3, 4}));
    bad.push_back(append(header("a", DDS::TYPE_STRING_ARRAY), Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
    bad.push_back(append(header("a", DDS::TYPE_STRING_ARRAY), Bytes{2, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0}));
    bad.push_back(append(header("t", DDS::TYPE_DDS), Bytes{11, 0, 0, 0, 1, 0, 0, 0, 0x61, 0, 1, 0, 0, 0}));
    bad.push_back(append(header("t", DDS::TYPE_DDS_ARRAY), Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0}));
    bad.push_back(append(header("d", DDS::TYPE_DATA), Bytes{0xFF, 0xFF, 0xFF, 0xFF, 1}));

    for (std::size_t i = 0; i < bad.size(); ++i) {
        DDS t;
        std::string out;
        EXPECT_FALSE(unpack(t, append(good, bad[i]), &out)) << "case " << i;
        EXPECT_NE(out.find("dds unpack: error loading var at 10\n"), std::string::npos) << "case " << i;
        EXPECT_EQ(t.get_int_var("a"), 1) << "case " << i;
        EXPECT_EQ(t.get_var_count(), 1) << "case " << i;
    }
}

TEST(DDSPacker, UnknownTypeIsSkippedAfterItsTypeByte) {
    Bytes b = header("odd", static_cast<DDS::Data_Types>(42));
    b = append(b, Bytes{1, 0, 0, 0, 0x61, 0, 5, 0, 0, 0});
    DDS t;
    std::string out;
    EXPECT_TRUE(unpack(t, b, &out));
    EXPECT_NE(out.find("FIXME: Unhandled DDS TYPE!!"), std::string::npos) << out;
    EXPECT_FALSE(t.is_var("odd"));
    EXPECT_EQ(t.get_int_var("a"), 5);
}

TEST(DDSPacker, CorruptNestedTreeFailsButKeepsWhatWasRead) {
    // Nested tree of 15 bytes: a good int record, then a record whose int is cut short.
    Bytes inner{1, 0, 0, 0, 0x61, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0x62};
    Bytes b = header("t", DDS::TYPE_DDS);
    b << static_cast<std::uint32_t>(inner.size());
    b = append(b, inner);
    DDS t;
    std::string out;
    EXPECT_FALSE(unpack(t, b, &out));
    EXPECT_NE(out.find("error loading var at 10\n"), std::string::npos) << out; // inside the nested tree
    EXPECT_NE(out.find("error loading var at 0\n"), std::string::npos) << out;  // the outer record
    ASSERT_NE(t.get_dynamic_data_struct_var("t"), nullptr);
    EXPECT_EQ(t.get_dynamic_data_struct_var("t")->get_int_var("a"), 1);

    // The same inside a tree array: the elements read so far stay.
    Bytes arr = header("l", DDS::TYPE_DDS_ARRAY);
    arr << 3u << 10u;
    arr = append(arr, Bytes{1, 0, 0, 0, 0x61, 0, 2, 0, 0, 0});
    arr << 500u;
    DDS u;
    EXPECT_FALSE(unpack(u, arr));
    ASSERT_EQ(u.get_dynamic_data_struct_array_var("l").size(), 1u);
    EXPECT_EQ(u.get_dynamic_data_struct_array_var("l")[0]->get_int_var("a"), 2);
}

namespace {

// A chain of trees "t" inside "t" ... depth levels deep, ending in an int "a".
Bytes nested_chain(int depth) {
    Bytes b{1, 0, 0, 0, 0x61, 0, 1, 0, 0, 0};
    for (int i = 0; i < depth; ++i) {
        Bytes outer = header("t", DDS::TYPE_DDS);
        outer << static_cast<std::uint32_t>(b.size());
        b = append(outer, b);
    }
    return b;
}

} // namespace

TEST(DDSPacker, NestingIsLimited) {
    DDS ok;
    ASSERT_TRUE(unpack(ok, nested_chain(DDSPacker::MAX_NESTING)));
    const DDS* d = &ok;
    for (int i = 0; i < DDSPacker::MAX_NESTING; ++i) {
        d = d->get_dynamic_data_struct_var("t");
        ASSERT_NE(d, nullptr);
    }
    EXPECT_EQ(d->get_int_var("a"), 1);

    DDS deep;
    std::string out;
    EXPECT_FALSE(unpack(deep, nested_chain(1000), &out));
    EXPECT_NE(out.find("dds unpack: trees nested too deeply"), std::string::npos);
}

TEST(DDSPacker, ExistingVariableOfAnotherTypeKeepsItsValue) {
    DDS t;
    t.set_str_var("a", "mine");
    std::string out;
    EXPECT_TRUE(unpack(t, Bytes{1, 0, 0, 0, 0x61, 0, 1, 0, 0, 0}, &out));
    EXPECT_EQ(t.get_str_var("a"), "mine");
    EXPECT_NE(out.find("attempt to change the type of variable '"), std::string::npos);
}

namespace {

Bytes read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(DDSPacker, FuzzSeedsUnpackAndRepack) {
    const std::filesystem::path dir = std::filesystem::path(WENDMOOR_SOURCE_DIR) / "fuzz/corpus/dds";
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const Bytes b = read_file(entry.path());
        DDS t;
        EXPECT_TRUE(unpack(t, b)) << entry.path();
        EXPECT_EQ(pack(t).size(), b.size()) << entry.path();
        ++seen;
    }
    EXPECT_GE(seen, 4);
}

// Every file under tests/data/regressions/ named dds_* must unpack without crashing; the
// expected result is in the name ("_ok" or "_fail").
TEST(DDSPacker, RegressionFilesUnpackSafely) {
    const std::filesystem::path dir = std::filesystem::path(WENDMOOR_SOURCE_DIR) / "tests/data/regressions";
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("dds_", 0) != 0) continue;
        const Bytes b = read_file(entry.path());
        DDS t;
        const bool ok = unpack(t, b);
        EXPECT_EQ(ok, name.find("_ok") != std::string::npos) << name;
        DDS again;
        EXPECT_TRUE(unpack(again, pack(t))) << name;
        ++seen;
    }
    EXPECT_GE(seen, 1);
}
