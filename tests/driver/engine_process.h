#pragma once
// The real engine binary on pipes, for scripted protocol sessions.
#include <string>
#include <vector>

class EngineProcess {
public:
    // Starts the engine in a fresh scratch directory (so no brix.cfg or book
    // from elsewhere is read), or in `directory` when given.
    explicit EngineProcess(const std::string& directory = "", const std::vector<std::string>& args = {},
                           const std::string& argv0 = "");
    ~EngineProcess();
    void send(const std::string& line);
    // The first line matching the regular expression within the time, or
    // "" (and the test fails) when none came. Earlier lines are kept.
    std::string expect(const std::string& pattern, double seconds = 5);
    // Whether a matching line arrives within the time (no failure).
    bool sees(const std::string& pattern, double seconds);
    void closeInput();
    int  waitExit(double seconds);  // exit status, or -1 if still running
    const std::vector<std::string>& transcript() const { return lines; }
    int processId() const { return pid; }
    std::string dir;

private:
    bool readLine(std::string& line, double seconds);
    int  pid = -1, in = -1, out = -1;
    bool ownDirectory = false;  // made here, removed with the process
    std::string              pending;
    std::vector<std::string> lines;
};
