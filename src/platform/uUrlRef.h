#pragma once
// URL references resolved against a base URL the way a browser resolves an
// anchor's href: absolute, scheme-relative ("//host/p"), absolute-path,
// relative, query-only and fragment-only references, with "." and ".."
// segments removed. And the other judgements on addresses that must be made
// the way the web makes them: which two are the same, what may be told to
// another site, what a saved file may be named after.
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

// Addresses as the web compares them: the scheme and the host without
// regard to letter case, everything else (user, port, path, query,
// fragment) exactly as written. Url_SameKey is equal for two addresses
// exactly when Url_Same holds, so it can key a map.
std::string Url_SameKey(const std::string &Url);
bool Url_Same(const std::string &A, const std::string &B);

// The host name of an address, without user, password and port; empty
// when it names none (a file: or a relative address).
std::string Url_HostName(const std::string &Url);

// The Referer a browser sends (policy strict-origin-when-cross-origin) when
// the page at PageUrl asks for TargetUrl: the page's address without user
// information and fragment to the same origin; only its origin and "/" to
// another; nothing from https to http, nor from a page that is not http or
// https.
std::string Url_Referer(const std::string &PageUrl, const std::string &TargetUrl);

// The file name to save an address under: its last path segment without
// query or fragment, percent escapes decoded, made a safe name
// (Fn_CleanName); Fallback when nothing is left.
std::string Url_SaveName(const std::string &Url, const std::string &Fallback);
