#pragma once
// Reading files whose names come from outside the program: a page's own
// address, a picture of a page, the settings file. Only regular files are
// read, and never in a way that can block: a FIFO or a device named by a
// page would otherwise hold the main thread (or a worker that must stop)
// for good, and /dev/zero would fill the memory.
#include <cstddef>
#include <cstdint>
#include <string>

enum class TReadFail { None, Missing, NotRegular, TooLarge, Unreadable };

struct TReadResult {
  TReadFail Fail = TReadFail::None;
  std::string Why;  // the reason in words, for a log line; empty on success
  bool Ok() const { return Fail == TReadFail::None; }
};

// Opens Path for reading when it is a regular file. The descriptor stays
// non-blocking, so a special file that passes for a regular one (some of
// /proc) fails a read instead of waiting. -1 with Why set otherwise.
int OpenRegularFile(const std::string &Path, TReadResult *Why = nullptr);

// Reads a whole regular file of at most MaxBytes into Out.
TReadResult ReadRegularFile(const std::string &Path, std::string &Out, size_t MaxBytes);

// The same as a plain yes or no.
bool ReadWholeFile(const std::string &Path, std::string &Out, size_t MaxBytes = SIZE_MAX);

// The local file of Url, for a page at PageUrl. A file: address counts only
// for a page that came from the local disk itself, and only when it names a
// regular file: a web page must never make the program read the user's
// files. Any other address gives the URL cache's copy. Empty when there is
// none.
std::string Url_LocalFile(const std::string &Url, const std::string &PageUrl);
