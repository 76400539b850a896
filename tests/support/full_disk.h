#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

// A small tmpfs mounted on an empty folder. After fill() has taken its last byte, writing there
// fails as on a full disk ("No space left on device"). Mounting needs root (CI runs as root);
// where it fails, ok() is false and why() says why, so the test can skip.
class Full_Disk {
public:
    static constexpr const char* FILLER = "filler";

    explicit Full_Disk(const std::string& folder) : folder(folder) {
        if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m") == 0)
            mounted = true;
        else
            reason = std::strerror(errno);
    }
    ~Full_Disk() {
        if (mounted) umount2(folder.c_str(), MNT_DETACH);
    }
    Full_Disk(const Full_Disk&) = delete;
    Full_Disk& operator=(const Full_Disk&) = delete;

    bool ok() const { return mounted; }
    std::string why() const { return "cannot mount a tmpfs to fill (" + reason + "); run as root"; }
    std::string file(const std::string& name) const { return folder + "/" + name; }

    // Takes every byte that is left; true once a one-byte write fails for want of space.
    bool fill() const {
        int fd = ::open(file(FILLER).c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd < 0) return false;
        std::vector<char> block(65536, 'f');
        size_t size = block.size();
        bool full = false;
        while (!full) {
            ssize_t written = ::write(fd, block.data(), size);
            if (written > 0) continue;
            if (written < 0 && errno != ENOSPC) break;
            if (size == 1) full = true;
            size = std::max<size_t>(1, size / 2);
        }
        ::close(fd);
        return full;
    }

    // Everything in the folder but the filler, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().filename() != FILLER) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string folder;
    bool mounted = false;
    std::string reason;
};
