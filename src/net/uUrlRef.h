#pragma once
// URL references resolved against a base URL the way a browser resolves an
// anchor's href: absolute, scheme-relative ("//host/p"), absolute-path,
// relative, query-only and fragment-only references, with "." and ".."
// segments removed.
#include <string>

struct TUrlParts {
  std::string Scheme;  // lower case, without ":"
  std::string Authority;
  std::string Path;
  std::string Query;     // without "?"
  std::string Fragment;  // without "#"
  bool HasAuthority = false, HasQuery = false, HasFragment = false;
};

// Splits a URL reference; never fails (a text without a scheme is relative).
TUrlParts Url_Split(const std::string &Ref);
std::string Url_Join(const TUrlParts &P);
// Ref resolved against Base; Ref itself when Base has no scheme.
std::string Url_Resolve(const std::string &Base, const std::string &Ref);
