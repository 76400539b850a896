#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

// A fresh directory under the system's temporary directory, removed with everything in it.
class Scratch_Dir {
public:
    Scratch_Dir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "wendmoor_XXXXXX").string();
        if (mkdtemp(pattern.data())) dir = pattern;
    }
    ~Scratch_Dir() {
        std::error_code ignored;
        if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
    }
    Scratch_Dir(const Scratch_Dir&) = delete;
    Scratch_Dir& operator=(const Scratch_Dir&) = delete;

    bool ok() const { return !dir.empty(); }
    const std::string& path() const { return dir; }
    std::string file(const std::string& name) const { return dir + "/" + name; }

    static void write(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary);
        out << bytes;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string dir;
};
