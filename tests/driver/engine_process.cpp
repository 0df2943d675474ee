#include "tests/driver/engine_process.h"
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <regex>

EngineProcess::EngineProcess(const std::string& directory, const std::vector<std::string>& args,
                             const std::string& argv0) {
    dir = directory;
    if (dir.empty()) {
        char scratch[] = "/tmp/brix-session-XXXXXX";
        dir            = mkdtemp(scratch);
        ownDirectory   = true;
    }
    int toEngine[2], fromEngine[2];
    if (pipe(toEngine) != 0 || pipe(fromEngine) != 0) return;
    pid = fork();
    if (pid == 0) {
        dup2(toEngine[0], 0);
        dup2(fromEngine[1], 1);
        dup2(fromEngine[1], 2);
        close(toEngine[1]);
        close(fromEngine[0]);
        if (chdir(dir.c_str()) != 0) _exit(126);
        std::vector<char*> argv;
        std::string        binary = BRIX_ENGINE_BINARY;
        std::string        name   = argv0.empty() ? binary : argv0;
        argv.push_back(name.data());
        std::vector<std::string> copies(args);
        for (auto& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(toEngine[0]);
    close(fromEngine[1]);
    in  = toEngine[1];
    out = fromEngine[0];
    signal(SIGPIPE, SIG_IGN);
}

EngineProcess::~EngineProcess() {
    if (in >= 0) close(in);
    if (pid > 0 && waitExit(2) < 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (out >= 0) close(out);
    if (ownDirectory) std::system(("rm -rf '" + dir + "'").c_str());
}

void EngineProcess::send(const std::string& line) {
    const std::string text = line + "\n";
    if (in >= 0) {
        const ssize_t n = write(in, text.data(), text.size());
        (void)n;
    }
}

bool EngineProcess::readLine(std::string& line, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        const auto nl = pending.find('\n');
        if (nl != std::string::npos) {
            line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            lines.push_back(line);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd fd = {out, POLLIN, 0};
        if (poll(&fd, 1, int(left.count())) <= 0) return false;
        char          buffer[4096];
        const ssize_t n = read(out, buffer, sizeof buffer);
        if (n <= 0) return false;
        pending.append(buffer, std::size_t(n));
    }
}

bool EngineProcess::sees(const std::string& pattern, double seconds) {
    const std::regex re(pattern);
    const auto       deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::string      line;
    for (;;) {
        const double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !readLine(line, left)) return false;
        if (std::regex_search(line, re)) return true;
    }
}

std::string EngineProcess::expect(const std::string& pattern, double seconds) {
    const std::regex re(pattern);
    const auto       deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::string      line;
    for (;;) {
        const double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !readLine(line, left)) {
            std::string tail;
            for (std::size_t i = lines.size() > 12 ? lines.size() - 12 : 0; i < lines.size(); ++i) tail += lines[i] + "\n";
            ADD_FAILURE() << "no line matching /" << pattern << "/ within " << seconds << " s; last lines:\n" << tail;
            return "";
        }
        if (std::regex_search(line, re)) return line;
    }
}

void EngineProcess::closeInput() {
    if (in >= 0) close(in);
    in = -1;
}

int EngineProcess::waitExit(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::string line;
        readLine(line, 0.02);
    }
    return -1;
}
