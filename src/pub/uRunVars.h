#pragma once
// Program-wide run values, owned by the start-up and shut-down code.
#include <atomic>
#include <cstdint>
#include <string>

inline constexpr const char *AppTitle = "Mossgather 0.12";
inline constexpr const char *AppVersion = "0.12";
inline constexpr const char *MutexName = "#Mossgather";
inline constexpr const char *RegKeyMossgather = "Software\\Mossgather\\";
inline constexpr const char *RegValCurExeFile = "CurExeFile";
inline constexpr const char *SwitchRealStr = "-RealStr";
inline constexpr const char *SwitchEmbedding = "-Embedding";
inline constexpr int WakeUpMsg = 1032;  // the user message base plus 8

// 1 = started by the browser's native-messaging host start ("-Embedding"),
// 2 = started by a launcher ("-RealStr"), 3 = any other start.
extern int StartMode;
// 0 starting (also after a failed start), 1 ready, 2 exiting.
extern std::atomic<uint8_t> SysState;
extern std::atomic<bool> InitFailed;
extern bool FirstRun;
extern bool AppMinimized;
extern std::string ExeName;
extern std::string PrgDir;  // ends in "/"
extern int VScrollWidth;

// The first parameter, compared exactly, decides the start mode.
int ParseStartMode(int Argc, const char *const *Argv);

// The running program file (/proc/self/exe).
std::string ProgramFile();
// The folder of the program file with a trailing "/"; MOSSGATHER_PRGDIR
// points it elsewhere for tests and packagers.
std::string ProgramDir();
