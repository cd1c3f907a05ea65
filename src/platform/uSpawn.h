#pragma once
// Starts a program that outlives its starter: in a session of its own, not
// our child, with standard input and output on /dev/null. A browser that
// ends its native-messaging host therefore cannot take the program with it.
#include <string>
#include <vector>

bool SpawnDetached(const std::string &Exe, const std::vector<std::string> &Args);
