#pragma once
// The program entry: the start mode decides whether this process is the
// copy that keeps running or a launcher that starts the installed copy.
#include <string>

// Starts the installed copy (registry value "CurExeFile") with "-RealStr".
bool RelaunchInstalled();
// True when this process is the only running copy; otherwise the running
// copy is woken and false comes back.
bool ChkSingleInstance();

int RunProgram(int Argc, char **Argv);
