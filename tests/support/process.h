// Programs that tests run as a user starts them, from argument lists: no shell
// stands between, so a path with spaces or shell characters stays one argument.
#pragma once

#include <csignal>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavo::test {

struct Run {
    int status;      // exit status; -1 when a signal ended the program
    std::string out; // what it wrote (see Streams)
};

enum class Streams {
    Both,       // standard output and standard error, as they came
    ErrorOnly,  // standard error; standard output goes to /dev/null
};

// Changes to the test's own environment for the program: "NAME=VALUE" sets NAME,
// "NAME" alone removes it.
using EnvChanges = std::vector<std::string>;

// A program running beside the test, its standard input /dev/null and its output
// in a pipe the test reads. Ended with SIGKILL when it is still running at the end
// of its scope, so that nothing outlives a failed test. Throws when it cannot start.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv, const EnvChanges& env = {},
                   Streams streams = Streams::Both);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    // The next line it writes, without the newline; false once its output has ended.
    bool ReadLine(std::string& line);
    // Reads the rest of its output and waits for it to end.
    Run Wait();
    // Sends `signal`, waits, and returns the wait status (as waitpid gives it).
    int Stop(int signal = SIGTERM);

private:
    int Reap();

    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

// Runs a program to its end.
Run RunProgram(const std::vector<std::string>& argv, const EnvChanges& env = {},
               Streams streams = Streams::Both);

} // namespace tavo::test
