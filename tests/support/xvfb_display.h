#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

// Runs a program with arguments and extra environment entries; returns its pid (or -1).
inline pid_t spawn_program(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env = {},
                           const std::string& output = "/dev/null") {
    std::vector<std::string> env;
    for (char** e = environ; *e; e++) env.emplace_back(*e);
    for (const std::string& entry : extra_env) {
        std::string key = entry.substr(0, entry.find('=') + 1);
        std::erase_if(env, [&](const std::string& e) { return e.rfind(key, 0) == 0; });
        env.push_back(entry);
    }
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits up to `timeout_ms` for the process to end; its exit status, or -1 if it did not end.
inline int wait_for_exit(pid_t pid, int timeout_ms) {
    for (int waited = 0; waited <= timeout_ms; waited += 20) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        usleep(20000);
    }
    return -1;
}

inline bool have_program(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A private X server on a free display, for running the program in real windows.
class Xvfb_Display {
public:
    Xvfb_Display() {
        for (int n = 120; n < 160 && pid < 0; n++) {
            if (access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) == 0 ||
                access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) == 0)
                continue;
            display = ":" + std::to_string(n);
            pid = spawn_program({"Xvfb", display, "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        }
        for (int i = 0; i < 100 && pid > 0; i++) {
            if (run("xdotool getmouselocation")) return;
            usleep(50000);
        }
    }
    ~Xvfb_Display() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            wait_for_exit(pid, 2000);
        }
    }
    Xvfb_Display(const Xvfb_Display&) = delete;
    Xvfb_Display& operator=(const Xvfb_Display&) = delete;

    bool ok() const { return pid > 0; }
    // A shell command run against this display; true when it succeeded.
    bool run(const std::string& command) const {
        return std::system(("DISPLAY=" + display + " " + command + " >/dev/null 2>&1").c_str()) == 0;
    }

    std::string display;

private:
    pid_t pid = -1;
};
