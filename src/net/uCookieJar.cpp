#include "net/uCookieJar.h"

#include <arpa/inet.h>

#include <algorithm>

#include "platform/uUrlRef.h"
#include "pub/Unit_Pub.h"

namespace {

bool Sendable(const std::string &S) {
  for (char C : S)
    if (static_cast<unsigned char>(C) < 0x20 || C == 0x7f || C == ';') return false;
  return true;
}

bool IsIpAddress(const std::string &Host) {
  unsigned char Buf[16];
  if (!Host.empty() && Host[0] == '[') return true;
  return inet_pton(AF_INET, Host.c_str(), Buf) == 1;
}

// The host lies in the cookie's domain: the domain itself, or a name under
// it; an address only matches itself.
bool DomainMatches(const std::string &Host, const TCookie &C) {
  if (Host == C.Domain) return true;
  if (C.HostOnly || IsIpAddress(Host) || Host.size() <= C.Domain.size()) return false;
  return Host.compare(Host.size() - C.Domain.size(), C.Domain.size(), C.Domain) == 0 &&
         Host[Host.size() - C.Domain.size() - 1] == '.';
}

// "/a/b" covers "/a/b", "/a/b/" and "/a/b/c", not "/a/bc".
bool PathMatches(const std::string &ReqPath, const std::string &CookiePath) {
  if (ReqPath.compare(0, CookiePath.size(), CookiePath) != 0) return false;
  return ReqPath.size() == CookiePath.size() || CookiePath.back() == '/' || ReqPath[CookiePath.size()] == '/';
}

}  // namespace

bool TCookieJar::Add(TCookie C) {
  C.Domain = LowerCase(C.Domain);
  if (!C.Domain.empty() && C.Domain[0] == '.') C.Domain.erase(0, 1);
  if (C.Path.empty() || C.Path[0] != '/') C.Path = "/";
  if (C.Domain.empty() || C.Name.find('=') != std::string::npos || !Sendable(C.Name) || !Sendable(C.Value) ||
      !Sendable(C.Domain) || !Sendable(C.Path))
    return false;
  for (TCookie &Old : FCookies)
    if (Old.Name == C.Name && Old.Domain == C.Domain && Old.Path == C.Path) {
      Old = std::move(C);
      return true;
    }
  FCookies.push_back(std::move(C));
  return true;
}

std::string TCookieJar::HeaderFor(const std::string &Url, double NowUnix) const {
  const TUrlParts U = Url_Split(Url);
  if ((U.Scheme != "http" && U.Scheme != "https") || !U.HasAuthority) return {};
  const std::string Host = LowerCase(Url_HostName(Url));
  const std::string Path = U.Path.empty() ? "/" : U.Path;
  std::vector<const TCookie *> Out;
  for (const TCookie &C : FCookies) {
    if (C.Secure && U.Scheme != "https") continue;
    if (C.Expires > 0 && C.Expires <= NowUnix) continue;
    if (DomainMatches(Host, C) && PathMatches(Path, C.Path)) Out.push_back(&C);
  }
  std::stable_sort(Out.begin(), Out.end(), [](const TCookie *A, const TCookie *B) { return A->Path.size() > B->Path.size(); });
  std::string Line;
  for (const TCookie *C : Out) {
    if (!Line.empty()) Line += "; ";
    Line += C->Name.empty() ? C->Value : C->Name + "=" + C->Value;
  }
  return Line;
}

std::string Cookie_Masked(const std::string &HeaderValue) {
  // Every "name=value" pair keeps its name; a Set-Cookie's attributes are
  // shown, they carry no secret.
  std::string Out;
  size_t Pos = 0;
  bool First = true;
  while (Pos <= HeaderValue.size()) {
    size_t Semi = HeaderValue.find(';', Pos);
    std::string Part = HeaderValue.substr(Pos, Semi == std::string::npos ? std::string::npos : Semi - Pos);
    const std::string Key = LowerCase(Trim(Part.substr(0, Part.find('='))));
    const bool Attr = !First && (Key == "path" || Key == "domain" || Key == "expires" || Key == "max-age" || Key == "secure" ||
                                 Key == "httponly" || Key == "samesite");
    if (size_t Eq = Part.find('='); !Attr && Eq != std::string::npos)
      Part = Part.substr(0, Eq + 1) + "...";
    else if (!Attr && Eq == std::string::npos && !Trim(Part).empty())
      Part = Part.substr(0, Part.find_first_not_of(' ')) + "...";
    Out += (First ? "" : ";") + Part;
    First = false;
    if (Semi == std::string::npos) break;
    Pos = Semi + 1;
  }
  return Out;
}
