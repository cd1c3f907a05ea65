#pragma once
// Reading a file that something outside the program named (a page, a
// picture's address): only a regular file, only up to a bound, and opened so
// that a FIFO or a device can never block the reader.
#include <cstddef>
#include <string>

// True with Out holding the file; false (Out empty) when Path is no regular
// file, cannot be read or is bigger than Max bytes.
bool ReadRegularFile(const std::string &Path, std::string &Out, size_t Max);
