#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace brisakett::testing {

// The path of the program `name`, looked up on PATH and then in the system
// folders (/usr/sbin, /sbin) that an ordinary user's PATH often leaves out,
// where cupsd and lpadmin live. Empty when there is none.
std::string FindProgram(const std::string& name);

struct ProgramRun {
  int exitStatus = -1;  // -1 when it could not start or was killed
  std::string output;   // standard output and standard error together
};

// Runs argv[0] (a path) with the given arguments, without a shell, and
// waits for it.
ProgramRun RunProgram(const std::vector<std::string>& argv);

struct SeparateProgramRun {
  int exitStatus = -1;  // -1 when it could not start or was killed
  std::string out;      // standard output, the bytes as written
  std::string err;      // standard error, the bytes as written
};

// The same, keeping standard output and standard error apart. With
// `killAfterSeconds`, a program still running then is killed (exit status
// -1), so that a hang fails the test instead of stalling it. `meanwhile`,
// when given, runs with the program's process id once it has started: to
// freeze its scheduler or send it a signal while it works.
SeparateProgramRun RunProgramApart(const std::vector<std::string>& argv,
                                   int killAfterSeconds = 0,
                                   const std::function<void(pid_t)>& meanwhile = {});

struct TerminalProgramRun {
  int exitStatus = -1;     // -1 when it could not start, was killed or timed out
  bool timedOut = false;   // still running after the time given, and killed
  std::string output;      // standard output and standard error together
  std::string terminal;    // what it wrote to its terminal
  bool echoAtEnd = false;  // the terminal echoed typing again once it ended
};

// Runs argv[0] in a session of its own whose controlling terminal is a
// fresh pseudo-terminal that nobody types into, with standard input from
// /dev/null: a program that asks the terminal for something blocks there
// until `seconds` have passed, and is then killed.
TerminalProgramRun RunProgramWithTerminal(const std::vector<std::string>& argv, int seconds);

// One answer typed at a password prompt, with Return, `after` the prompt
// appeared and once the program has turned echo off (typing sooner would
// be flushed away as the program sets the terminal up).
struct TypedAnswer {
  std::string typed;
  std::chrono::milliseconds after{0};
  bool interrupt = false;  // Ctrl-C (SIGINT) at the prompt instead of typing
};

// Runs argv[0] as a person does at a terminal: in a session of its own
// whose controlling terminal, standard input, output and error are a fresh
// pseudo-terminal, typing `answers` in turn at its password prompts. What
// it wrote is in `terminal`; killed after `seconds`.
TerminalProgramRun RunProgramAtTerminal(const std::vector<std::string>& argv,
                                        const std::vector<TypedAnswer>& answers, int seconds);

// Starts argv[0] (a path) in the background, its output appended to
// `logFile`, or sharing this process's output when `logFile` is empty.
// Returns its process id, or -1 when it could not start.
pid_t StartProgram(const std::vector<std::string>& argv, const std::string& logFile);

// For a tool that runs one program in its foreground (the demo and bench
// spoolers): blocks SIGINT, SIGTERM and SIGCHLD in this process, so that
// only WaitPassingStops sees them; call it before any thread starts. A
// program started afterwards gets them back at their defaults.
sigset_t BlockStopSignals();
// Waits for `program` to end, passing a stop request (SIGINT, SIGTERM) on
// to it as SIGTERM. Its exit status, or 128 + the signal that ended it.
int WaitPassingStops(pid_t program, const sigset_t& stopSignals);

}  // namespace brisakett::testing
