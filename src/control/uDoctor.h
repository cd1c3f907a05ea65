#pragma once
// "mossgather -doctor": checks every piece the browser needs to reach the
// program and prints each with its result and, for a failure, the fix.
#include <ostream>
#include <string>

// Returns the number of failed checks.
int RunDoctor(const std::string &PrgDir, std::ostream &Out);
