#pragma once
// A download that never replaces a file: what the job workers and the list
// mode of mossgather-fetch use for pictures and movies, whose names were
// checked when the job was made but may have been taken since.
#include <string>

class THttpDownFile;

// Fetches Url into Target with D, but only when nothing is at Target: the
// body goes to a hidden file beside it and takes Target's name only if that
// name is still free when the body is complete. False with Why saying why
// (the downloader's text, or that the file exists already); a file at
// Target is left as it was.
bool DownLoadNew(THttpDownFile &D, const std::string &Url, const std::string &Target, const std::string &Referer,
                 const std::string &Cookie, int TimeoutSec, std::string &Why);

// The text that refuses a target because something is there.
std::string FileExistsText(const std::string &Target);
