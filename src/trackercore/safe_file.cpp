#include "trackercore/safe_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<bool> unnamed_allowed{true};
std::atomic<unsigned> next_serial{0};
const char TEMP_MARK[] = ".wendmoor-save-";

std::string folder_of(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Saving through a symbolic link replaces the file it points to, not the link; also when that
// file does not exist yet.
std::string resolve_target(const std::string& path) {
    std::string target = path;
    struct stat st;
    for (int depth = 0; depth < 40 && lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode); depth++) {
        char link[PATH_MAX];
        ssize_t length = readlink(target.c_str(), link, sizeof link - 1);
        if (length <= 0) break;
        link[length] = '\0';
        target = link[0] == '/' ? std::string(link) : folder_of(target) + "/" + link;
    }
    return target;
}

bool all_digits(const char* begin, const char* end) {
    if (begin == end) return false;
    for (const char* c = begin; c < end; c++)
        if (*c < '0' || *c > '9') return false;
    return true;
}

// The process that made a temporary file named "<file>.wendmoor-save-<pid>-<n>", or -1 when the
// name is not one of ours.
long temporary_owner(const char* name) {
    const char* mark = nullptr;
    for (const char* found = std::strstr(name, TEMP_MARK); found; found = std::strstr(found + 1, TEMP_MARK))
        mark = found;
    if (!mark || mark == name) return -1;
    const char* pid = mark + sizeof(TEMP_MARK) - 1;
    const char* dash = std::strchr(pid, '-');
    if (!dash || !all_digits(pid, dash) || !all_digits(dash + 1, dash + std::strlen(dash))) return -1;
    if (dash - pid > 9) return -1;
    return std::strtol(pid, nullptr, 10);
}

// What a save killed between writing and renaming left behind; a process that still runs may be
// in the middle of its save, so only files of processes that are gone are removed.
void remove_stale_temporaries(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (dirent* entry = readdir(dir)) {
        long pid = temporary_owner(entry->d_name);
        if (pid <= 0 || pid == (long)getpid()) continue;
        if (kill((pid_t)pid, 0) == 0 || errno != ESRCH) continue;
        std::string path = folder + "/" + entry->d_name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(path.c_str());
    }
    closedir(dir);
}

// After a rename the folder entry must reach the disk too, or a crash can bring back the old file.
void sync_folder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    ::close(fd);
}

}  // namespace

void Safe_File::set_unnamed_temporaries(bool allowed) { unnamed_allowed = allowed; }

std::string Safe_File::temporary_name(const std::string& target, long pid, unsigned serial) {
    return target + TEMP_MARK + std::to_string(pid) + "-" + std::to_string(serial);
}

bool Safe_File::open(const std::string& path) {
    if (stream) return false;
    error_text.clear();
    temp_path.clear();
    unnamed = false;
    if (path.empty()) {
        note_error(ENOENT);
        return false;
    }
    target = resolve_target(path);
    struct stat st;
    bool exists = stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        note_error("not a regular file");
        return false;
    }
    // Root may write anything, but a file without any write permission was protected on purpose.
    if (exists && (access(target.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0)) {
        note_error(std::string("the file is write-protected (") + std::strerror(EACCES) + ")");
        return false;
    }
    std::string folder = folder_of(target);
    remove_stale_temporaries(folder);

    int fd = -1;
    if (!open_unnamed(folder, fd) && !failed()) open_named(fd);
    if (fd < 0) return false;
    // The replacement keeps the permissions of the file it replaces.
    if (exists) fchmod(fd, st.st_mode & 07777);
    stream = fdopen(fd, "wb");
    if (!stream) {
        note_error(errno);
        ::close(fd);
        if (!temp_path.empty()) unlink(temp_path.c_str());
        temp_path.clear();
        return false;
    }
    return true;
}

// False without an error noted when the system has no unnamed files here.
bool Safe_File::open_unnamed(const std::string& folder, int& fd) {
#ifdef O_TMPFILE
    // Linking the file into place goes through /proc; without it only named files will do.
    if (!unnamed_allowed || access("/proc/self/fd", X_OK) != 0) return false;
    fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
        unnamed = true;
        return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) note_error(errno);
#else
    (void)folder;
    (void)fd;
#endif
    return false;
}

bool Safe_File::open_named(int& fd) {
    for (int attempt = 0; attempt < 100; attempt++) {
        temp_path = temporary_name(target, (long)getpid(), next_serial++);
        fd = ::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return true;
        if (errno != EEXIST) break;
    }
    note_error(errno);
    temp_path.clear();
    return false;
}

bool Safe_File::link_into_place() {
    std::string self = "/proc/self/fd/" + std::to_string(fileno(stream));
    for (int attempt = 0; attempt < 100; attempt++) {
        temp_path = temporary_name(target, (long)getpid(), next_serial++);
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp_path.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno != EEXIST) break;
    }
    note_error(errno);
    temp_path.clear();
    return false;
}

bool Safe_File::write(const void* data, size_t size) {
    if (!stream || failed()) return false;
    if (size == 0) return true;
    errno = 0;
    if (std::fwrite(data, 1, size, stream) == size) return true;
    note_error(errno);
    return false;
}

bool Safe_File::seek(long position) {
    if (!stream || failed()) return false;
    if (position >= 0 && std::fseek(stream, position, SEEK_SET) == 0) return true;
    note_error(position < 0 ? EINVAL : errno);
    return false;
}

void Safe_File::note_error(int error_number) {
    note_error(std::string(std::strerror(error_number ? error_number : EIO)));
}

void Safe_File::note_error(const std::string& reason) {
    if (error_text.empty()) error_text = reason.empty() ? std::string(std::strerror(EIO)) : reason;
}

bool Safe_File::commit() {
    if (!stream) return false;
    errno = 0;
    if (!failed() && (std::fflush(stream) != 0 || std::ferror(stream))) note_error(errno);
    if (!failed() && fsync(fileno(stream)) != 0) note_error(errno);
    if (!failed() && unnamed) link_into_place();
    close_stream();
    if (!failed() && std::rename(temp_path.c_str(), target.c_str()) != 0) note_error(errno);
    if (failed()) {
        if (!temp_path.empty()) unlink(temp_path.c_str());
        temp_path.clear();
        return false;
    }
    temp_path.clear();
    sync_folder(folder_of(target));
    return true;
}

void Safe_File::discard() {
    if (!stream) return;
    close_stream();
    if (!temp_path.empty()) unlink(temp_path.c_str());
    temp_path.clear();
}

void Safe_File::close_stream() {
    errno = 0;
    if (std::fclose(stream) != 0) note_error(errno);
    stream = nullptr;
}
