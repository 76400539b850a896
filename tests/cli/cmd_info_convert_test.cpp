#include <cstdio>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "loaders/it_builder.h"
#include "support/scratch_dir.h"

namespace {

struct Run_Result {
    int status;
    std::string out;
};

Run_Result run_cli(const std::string& args) {
    std::string cmd = std::string(WENDMOOR_CLI_PATH) + " " + args + " 2>&1";
    Run_Result r{-1, ""};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string small_module() {
    IT_Module_Builder layout;
    layout.title = "cli song";
    layout.speed = 5;
    layout.tempo = 140;
    layout.orders = {0, 255};
    IT_Sample_Layout s;
    s.name = "beep";
    s.flags = 1 | 2 | 16;
    s.length = 2;
    s.loop_end = 2;
    s.c5 = 22050;
    s.data = std::string(4, '\x01');
    layout.samples = {s};
    layout.flags = 1 | 8;
    Byte_Builder p;
    p.byte(0x81).byte(0x03).byte(48).byte(1).byte(0);
    layout.patterns.push_back({16, p.str(), false});
    return layout.build();
}

}  // namespace

TEST(CliInfoConvert, InfoDescribesTheModule) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string in = dir.file("in.it");
    Scratch_Dir::write(in, small_module());
    Run_Result r = run_cli("info " + in);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Impulse Tracker"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cli song"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Speed:           5"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Tempo:           140"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Pattern   0:  16 rows"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("beep"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("16-bit"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("C5 22050 Hz"), std::string::npos) << r.out;
}

TEST(CliInfoConvert, ConvertWritesALoadableModule) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string in = dir.file("in.it"), out = dir.file("out.IT");
    Scratch_Dir::write(in, small_module());
    Run_Result r = run_cli("convert " + in + " " + out);
    ASSERT_EQ(r.status, 0) << r.out;
    Run_Result info = run_cli("info " + out);
    EXPECT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("cli song"), std::string::npos) << info.out;

    // A native song reads back as quietly: the description is all that is printed.
    std::string native = dir.file("out.wm");
    ASSERT_EQ(run_cli("convert " + in + " " + native).status, 0);
    info = run_cli("info " + native);
    EXPECT_EQ(info.status, 0) << info.out;
    EXPECT_EQ(info.out.rfind("File:", 0), 0u) << info.out;
    EXPECT_NE(info.out.find("cli song"), std::string::npos) << info.out;
}

TEST(CliInfoConvert, FailuresExitNonZeroWithTheMessage) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string bad = dir.file("bad.it");
    Scratch_Dir::write(bad, small_module().substr(0, 50));
    Run_Result r = run_cli("info " + bad);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("Header Corrupt"), std::string::npos) << r.out;
    r = run_cli("info " + dir.file("none.it"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("Cannot open file!"), std::string::npos) << r.out;
    std::string in = dir.file("in.it");
    Scratch_Dir::write(in, small_module());
    r = run_cli("convert " + in + " " + dir.file("out.xyz"));
    EXPECT_NE(r.status, 0);
    r = run_cli("convert " + in + " " + dir.file("missing/out.it"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("Error saving"), std::string::npos) << r.out;
}
