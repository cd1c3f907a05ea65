#pragma once
// The cookies of the user's browser for a page and its pictures, handed over
// with the request and kept in memory for as long as the job lives. A
// request gets exactly the cookies the browser would send with it: by
// domain, path, the secure flag and the expiry. A jar is filled before the
// downloads start and only read afterwards, so any number of transfers may
// read it at once.
#include <cstddef>
#include <string>
#include <vector>

struct TCookie {
  std::string Name, Value;
  std::string Domain;  // the host, or the domain a domain cookie covers; a leading dot is dropped
  std::string Path = "/";
  bool HostOnly = true;  // for Domain itself only, not for the names under it
  bool Secure = false;   // only over https
  double Expires = 0;    // seconds since 1970; 0 for a cookie of the browser's session
};

class TCookieJar {
 public:
  // Keeps C, replacing one of the same name, domain and path. A cookie that
  // could break the request line (control bytes, ";" or a name with "="),
  // or that names no domain, is left out: false.
  bool Add(TCookie C);
  size_t Size() const { return FCookies.size(); }
  bool Empty() const { return FCookies.empty(); }

  // The value of the Cookie line for a request to Url at NowUnix ("a=1;
  // b=2"): longer paths first, then in the order they were added; empty
  // when no cookie goes there.
  std::string HeaderFor(const std::string &Url, double NowUnix) const;

 private:
  std::vector<TCookie> FCookies;
};

// A Cookie or Set-Cookie value with every cookie's value hidden ("sid=…;
// lang=…"), for a trace a user may paste anywhere.
std::string Cookie_Masked(const std::string &HeaderValue);
