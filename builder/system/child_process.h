// Running another program (osslsigncode) from kiln, on Linux and Windows.
#pragma once
#include <string>
#include <vector>

struct ChildRun {
    bool started = false;   // false: the program could not be started
    bool not_found = false; // ... because it is not on the PATH
    int status = 0;         // its exit status, when started
    std::string output;     // its standard output, when asked for
    std::string why;        // why it could not start
};

// Runs args[0], found on the PATH, with args. Its standard output goes to
// ours, or with capture into ChildRun::output (its errors then go nowhere).
ChildRun RunChild(const std::vector<std::string>& args, bool capture);
