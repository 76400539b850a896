#include "tracker/autosave_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "tracker/path_data.h"
#include "trackercore/safe_file.h"

namespace {

const char RECORD_HEADER[] = "WENDMOOR_AUTOSAVE 1";

bool ends_with(const std::string& text, const std::string& end) {
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The session an autosave belongs to: its id up to the last "-".
std::string session_of(const std::string& id) {
    size_t dash = id.rfind('-');
    return dash == std::string::npos || dash == 0 ? std::string() : id.substr(0, dash);
}

// Songs are private: every folder made on the way is the user's alone.
bool make_folders(const std::string& path, std::string* why) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = slash == std::string::npos ? path : path.substr(0, slash);
        if (!part.empty() && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            if (why) *why = part + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos) break;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (why) *why = path + ": not a folder";
        return false;
    }
    return true;
}

// Opens (making it if needed) a session's lock file and takes its lock without waiting; -1 when
// a live process holds it or it cannot be opened.
int lock_session_file(const std::string& file, bool must_be_new) {
    int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (must_be_new ? O_EXCL : 0);
    int fd = ::open(file.c_str(), flags, 0600);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char next = text[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

bool read_number(const std::string& text, long long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long number = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    *value = number;
    return true;
}

// The file's bytes, when it is a regular file of at most `limit` bytes. A pipe or a device named
// like a record is not waited on.
bool read_small_file(const std::string& file, size_t limit, std::string* bytes) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (size_t)st.st_size <= limit;
    if (ok) {
        bytes->resize((size_t)st.st_size);
        size_t got = 0;
        while (got < bytes->size()) {
            ssize_t n = ::read(fd, bytes->data() + got, bytes->size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += (size_t)n;
        }
        bytes->resize(got);
    }
    ::close(fd);
    return ok;
}

bool is_regular_file(const std::string& file) {
    struct stat st;
    return lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

long long modification_time(const std::string& file) {
    struct stat st;
    return stat(file.c_str(), &st) == 0 ? (long long)st.st_mtim.tv_sec : 0;
}

}  // namespace

std::string Autosave_Folder::default_path() {
    const char* data_home = std::getenv("XDG_DATA_HOME");
    // Relative paths are to be ignored, as the base directory rules say.
    std::string base = data_home && data_home[0] == '/' ? std::string(data_home)
                                                         : Path_Data::get_home_dir() + "/.local/share";
    return base + "/" + PROGRAM_FOLDER + "/autosave";
}

Autosave_Folder::Autosave_Folder(std::string path) : path(std::move(path)) {}

Autosave_Folder::~Autosave_Folder() {
    release_left_behind();
    if (session_lock < 0) return;
    // Unlinked while still held, so no other run can take it in between.
    remove_session_if_empty(session);
    ::close(session_lock);
}

bool Autosave_Folder::take_session(std::string* why) {
    if (session_lock >= 0) return true;
    if (!make_folders(path, why)) return false;
    std::string base = std::to_string((long)getpid()) + "." + std::to_string((long long)std::time(nullptr));
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string name = attempt == 0 ? base : base + "." + std::to_string(attempt);
        int fd = lock_session_file(path + "/" + name + LOCK_EXTENSION, true);
        if (fd >= 0) {
            session = name;
            session_lock = fd;
            return true;
        }
        if (errno != EEXIST) break;
    }
    if (why) *why = path + ": " + std::strerror(errno ? errno : EIO);
    return false;
}

std::string Autosave_Folder::new_id(std::string* why) {
    if (!take_session(why)) return std::string();
    // A file an earlier adoption put under the same name is not written over.
    for (;;) {
        std::string id = session + "-" + std::to_string(next_serial++);
        if (access(song_file(id).c_str(), F_OK) != 0 && access(record_file(id).c_str(), F_OK) != 0) return id;
    }
}

bool Autosave_Folder::write_record(const std::string& file, const Record& record, std::string* why) {
    std::string text = std::string(RECORD_HEADER) + "\n";
    text += "path=" + escape(record.original_path) + "\n";
    text += "name=" + escape(record.song_name) + "\n";
    text += "time=" + std::to_string(record.time) + "\n";
    // A size of -1: there was no file.
    const File_Stamp& stamp = record.original_stamp;
    text += "original_size=" + std::to_string(stamp.exists ? stamp.size : -1) + "\n";
    text += "original_modified_ns=" + std::to_string(stamp.modified_ns) + "\n";
    text += "original_device=" + std::to_string(stamp.device) + "\n";
    text += "original_inode=" + std::to_string(stamp.inode) + "\n";
    Safe_File out;
    if (out.open(file) && out.write(text.data(), text.size()) && out.commit()) return true;
    if (why) *why = file + ": " + out.get_error_text();
    return false;
}

bool Autosave_Folder::read_record(const std::string& file, Record* record) {
    std::string bytes;
    if (!read_small_file(file, MAX_RECORD_BYTES, &bytes)) return false;
    if (bytes.compare(0, sizeof RECORD_HEADER - 1, RECORD_HEADER) != 0) return false;
    Record read;
    long long size = -1, device = 0, inode = 0;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "path")
            read.original_path = unescape(value);
        else if (key == "name")
            read.song_name = unescape(value);
        else if (key == "time")
            read_number(value, &read.time);
        else if (key == "original_size")
            read_number(value, &size);
        else if (key == "original_modified_ns")
            read_number(value, &read.original_stamp.modified_ns);
        else if (key == "original_device")
            read_number(value, &device);
        else if (key == "original_inode")
            read_number(value, &inode);
    }
    if (size >= 0) {
        read.original_stamp.exists = true;
        read.original_stamp.size = size;
        read.original_stamp.device = (unsigned long long)device;
        read.original_stamp.inode = (unsigned long long)inode;
    } else {
        read.original_stamp = File_Stamp();
    }
    *record = read;
    return true;
}

void Autosave_Folder::remove_files(const std::string& song_file, const std::string& record_file) {
    unlink(song_file.c_str());
    unlink(record_file.c_str());
}

std::vector<std::string> Autosave_Folder::list_songs() const {
    std::vector<std::string> ids;
    DIR* dir = opendir(path.c_str());
    if (!dir) return ids;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (ends_with(name, SONG_EXTENSION)) ids.push_back(name.substr(0, name.size() - std::strlen(SONG_EXTENSION)));
    }
    closedir(dir);
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::vector<Autosave_Folder::Left_Behind> Autosave_Folder::find_left_behind() {
    std::vector<Left_Behind> found;
    std::map<std::string, bool> live;  // sessions looked at in this call
    for (const std::string& id : list_songs()) {
        std::string owner = session_of(id);
        if (owner.empty() || owner == session || !is_regular_file(song_file(id))) continue;
        auto seen = live.find(owner);
        if (seen == live.end()) {
            bool held_here = claimed.count(owner) > 0;
            int fd = held_here ? -1 : lock_session_file(path + "/" + owner + LOCK_EXTENSION, false);
            if (fd >= 0) claimed[owner] = fd;
            seen = live.emplace(owner, !held_here && fd < 0).first;
        }
        if (seen->second) continue;
        Left_Behind entry;
        entry.id = id;
        entry.song_file = song_file(id);
        // A run killed between the song and its record still left the song; when it was taken
        // is then the file's own time.
        read_record(record_file(id), &entry.record);
        if (entry.record.time <= 0) entry.record.time = modification_time(entry.song_file);
        found.push_back(std::move(entry));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Left_Behind& a, const Left_Behind& b) { return a.record.time < b.record.time; });
    return found;
}

std::string Autosave_Folder::adopt(const Left_Behind& entry) {
    std::string id = new_id();
    if (id.empty()) return id;
    if (std::rename(entry.song_file.c_str(), song_file(id).c_str()) != 0) return std::string();
    std::string old_record = record_file(entry.id);
    if (access(old_record.c_str(), F_OK) == 0 && std::rename(old_record.c_str(), record_file(id).c_str()) != 0)
        unlink(old_record.c_str());
    return id;
}

void Autosave_Folder::discard(const Left_Behind& entry) {
    remove_files(entry.song_file, record_file(entry.id));
}

void Autosave_Folder::remove_session_if_empty(const std::string& owner) {
    for (const std::string& id : list_songs())
        if (session_of(id) == owner) return;
    // Records whose songs are gone say nothing any more.
    DIR* dir = opendir(path.c_str());
    if (dir) {
        std::vector<std::string> records;
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (ends_with(name, RECORD_EXTENSION) && session_of(name.substr(0, name.size() - std::strlen(RECORD_EXTENSION))) == owner)
                records.push_back(path + "/" + name);
        }
        closedir(dir);
        for (const std::string& record : records) unlink(record.c_str());
    }
    unlink((path + "/" + owner + LOCK_EXTENSION).c_str());
}

void Autosave_Folder::release_left_behind() {
    for (auto& [owner, fd] : claimed) {
        remove_session_if_empty(owner);
        ::close(fd);
    }
    claimed.clear();
}
