#pragma once
// Scratch HTML files in PrgDir + "txtmp/": "#tmp_0.html", "#tmp_1.html", ...
// The first name is handed out again whenever its old file can be deleted.
#include <string>

// A full path that names no file at the moment of return (the caller creates
// it). Throws EMossError when the folder cannot be made.
std::string GetTempFileIn(const std::string &PrgDir);
// The same in the program's folder (PrgDir).
std::string GetTempFile();
// A name still in use by work that outlives the call (a download on a
// worker): GetTempFileIn passes over it until it is released.
void HoldTempFile(const std::string &Path);
void ReleaseTempFile(const std::string &Path);
// Deletes the scratch HTML files at exit; the folder stays.
void ClearTempFiles(const std::string &PrgDir);
