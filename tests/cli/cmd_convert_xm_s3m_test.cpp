#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

std::string run_cli(const std::string& args, int* status) {
    std::string cmd = std::string(WENDMOOR_CLI_PATH) + " " + args + " 2>&1";
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int raw = pclose(p);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

std::string shell_quoted(const std::string& path) { return "'" + path + "'"; }

// The description without the loader's warnings (a corpus song that ends early says so) and
// without its first two lines (file name and format).
std::string body(std::string info) {
    for (size_t p; (p = info.find("Warning: ")) != std::string::npos;) info.erase(p, info.find('\n', p) + 1 - p);
    size_t second = info.find('\n', info.find('\n') + 1);
    std::string text = second == std::string::npos ? info : info.substr(second + 1);
    // IT keeps one kind of skipped order entry: "---" comes back as "+++".
    for (size_t p = 0; (p = text.find(" ---", p)) != std::string::npos; p += 4) text.replace(p, 4, " +++");
    return text;
}

// Every XM and S3M song converts to IT with the same orders, patterns and samples.
TEST(CliConvertXmS3m, SongsKeepOrdersPatternsAndSamples) {
    const char* shared = std::getenv("WENDMOOR_SHARED_DIR");
    fs::path songs = fs::path(shared ? shared : WENDMOOR_SHARED_DIR) / "corpus" / "songs";
    if (!fs::exists(songs)) GTEST_SKIP() << "no test corpus at " << songs;
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    int converted = 0;
    for (const auto& entry : fs::directory_iterator(songs)) {
        std::string ext = entry.path().extension().string();
        if (ext != ".xm" && ext != ".s3m") continue;
        if (entry.path().filename() == "grass near the house.xm") continue;  // 23 samples in one instrument
        std::string src = entry.path().string(), it = dir.file("song" + std::to_string(converted) + ".it");
        int status = -1;
        run_cli("convert " + shell_quoted(src) + " " + shell_quoted(it), &status);
        ASSERT_EQ(status, 0) << src;
        std::string before = run_cli("info " + shell_quoted(src), &status);
        ASSERT_EQ(status, 0) << src;
        std::string after = run_cli("info " + shell_quoted(it), &status);
        ASSERT_EQ(status, 0) << src;
        EXPECT_NE(before.find("Order list:"), std::string::npos);
        EXPECT_EQ(body(before), body(after)) << src;
        ++converted;
    }
    EXPECT_GE(converted, 10);
}

}  // namespace
