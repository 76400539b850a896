#include "common/components/audio/rtaudio_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <mutex>

namespace {

std::string program_dir() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    std::string exe(path, (size_t)n);
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "" : exe.substr(0, slash);
}

std::mutex load_lock;
Audio_Output_Stream_Create create_function = nullptr;  // set once the module is loaded

// Loads one candidate; false with dlerror's text or the reason the module was refused.
bool load(const std::string& path, std::string& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        error = why ? why : path + ": cannot be loaded";
        return false;
    }
    auto version = (Audio_Output_Stream_Version)dlsym(handle, AUDIO_OUTPUT_STREAM_VERSION_SYMBOL);
    auto create = (Audio_Output_Stream_Create)dlsym(handle, AUDIO_OUTPUT_STREAM_CREATE_SYMBOL);
    if (!version || !create || version() != AUDIO_OUTPUT_STREAM_VERSION) {
        error = path + ": not a module of this version of Wendmoor";
        dlclose(handle);
        return false;
    }
    create_function = create;
    return true;
}

}  // namespace

std::vector<std::string> RtAudio_Module::search_paths() {
    std::vector<std::string> paths;
    std::string dir = program_dir();
    if (!dir.empty()) {
        paths.push_back(dir + "/" + FILE_NAME);
        paths.push_back(dir + "/../" WENDMOOR_INSTALL_LIBDIR "/wendmoor/" + FILE_NAME);
    }
    std::string installed = std::string(WENDMOOR_INSTALL_FULL_LIBDIR "/wendmoor/") + FILE_NAME;
    if (std::find(paths.begin(), paths.end(), installed) == paths.end()) paths.push_back(installed);
    paths.push_back(FILE_NAME);
    return paths;
}

std::unique_ptr<Audio_Output_Stream> RtAudio_Module::create_stream(std::string& error) {
    std::lock_guard<std::mutex> guard(load_lock);
    if (!create_function) {
        // A module that is there but cannot be loaded says more than the places it is not.
        std::string found_error;
        for (const std::string& path : search_paths()) {
            std::string why;
            if (load(path, why)) break;
            bool there = path.find('/') != std::string::npos
                             ? access(path.c_str(), F_OK) == 0
                             : why.rfind(path + ": cannot open shared object file", 0) != 0;
            if (found_error.empty() && there) found_error = why;
        }
        if (!create_function) {
            error = "the RtAudio module " + std::string(FILE_NAME) + " could not be loaded: " +
                    (found_error.empty() ? "not found beside the program nor in " WENDMOOR_INSTALL_FULL_LIBDIR "/wendmoor"
                                         : found_error);
            return nullptr;
        }
    }
    std::unique_ptr<Audio_Output_Stream> stream(create_function());
    if (!stream) error = "the RtAudio module could not make a stream";
    return stream;
}
