#pragma once

#include <string>
#include <vector>

// Runs a program (looked up on PATH) with arguments, its standard output and
// standard error together in output (at most 16 MiB kept), and waits for it
// at most timeoutSeconds, after which it is killed. True when it ran and
// exited 0; otherwise false, with what happened in error ("exited with
// status 1", "did not finish within 120 s", "could not be started: ...").
bool RunProcess(const std::vector<std::string>& arguments, int timeoutSeconds, std::string& output,
                std::string& error);
