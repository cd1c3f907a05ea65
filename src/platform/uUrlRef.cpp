#include "platform/uUrlRef.h"

#include <cctype>

#include "pub/Unit_Pub.h"

namespace {

std::string RemoveDotSegments(std::string In) {
  std::string Out;
  while (!In.empty()) {
    if (In.rfind("../", 0) == 0)
      In.erase(0, 3);
    else if (In.rfind("./", 0) == 0)
      In.erase(0, 2);
    else if (In.rfind("/./", 0) == 0)
      In.erase(0, 2);
    else if (In == "/.")
      In = "/";
    else if (In.rfind("/../", 0) == 0 || In == "/..") {
      In = In == "/.." ? "/" : In.substr(3);
      size_t P = Out.rfind('/');
      Out.erase(P == std::string::npos ? 0 : P);
    } else if (In == "." || In == "..")
      In.clear();
    else {
      size_t Start = In[0] == '/' ? 1 : 0;
      size_t P = In.find('/', Start);
      Out += In.substr(0, P);
      In.erase(0, P == std::string::npos ? In.size() : P);
    }
  }
  return Out;
}

std::string MergePaths(const TUrlParts &Base, const std::string &RefPath) {
  if (Base.HasAuthority && Base.Path.empty()) return "/" + RefPath;
  size_t P = Base.Path.rfind('/');
  return P == std::string::npos ? RefPath : Base.Path.substr(0, P + 1) + RefPath;
}

}  // namespace

TUrlParts Url_Split(const std::string &Ref) {
  TUrlParts P;
  std::string S = Ref;
  // Browsers drop surrounding blanks and ignore tabs and line breaks inside.
  std::string T;
  for (char C : S)
    if (C != '\t' && C != '\n' && C != '\r') T += C;
  size_t B = T.find_first_not_of(' '), E = T.find_last_not_of(' ');
  S = B == std::string::npos ? std::string() : T.substr(B, E - B + 1);

  size_t I = 0;
  size_t Colon = S.find(':');
  if (Colon != std::string::npos && Colon > 0 && std::isalpha(static_cast<unsigned char>(S[0]))) {
    bool Ok = true;
    for (size_t K = 0; K < Colon; ++K) {
      char C = S[K];
      if (!std::isalnum(static_cast<unsigned char>(C)) && C != '+' && C != '-' && C != '.') {
        Ok = false;
        break;
      }
    }
    if (Ok) {
      for (size_t K = 0; K < Colon; ++K) P.Scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(S[K])));
      I = Colon + 1;
    }
  }
  if (size_t H = S.find('#', I); H != std::string::npos) {
    P.HasFragment = true;
    P.Fragment = S.substr(H + 1);
    S.erase(H);
  }
  if (size_t Q = S.find('?', I); Q != std::string::npos) {
    P.HasQuery = true;
    P.Query = S.substr(Q + 1);
    S.erase(Q);
  }
  if (S.compare(I, 2, "//") == 0) {
    P.HasAuthority = true;
    size_t End = S.find('/', I + 2);
    P.Authority = S.substr(I + 2, End == std::string::npos ? std::string::npos : End - I - 2);
    I = End == std::string::npos ? S.size() : End;
  }
  P.Path = S.substr(I);
  return P;
}

std::string Url_Join(const TUrlParts &P) {
  std::string Out;
  if (!P.Scheme.empty()) Out += P.Scheme + ":";
  if (P.HasAuthority) Out += "//" + P.Authority;
  Out += P.Path;
  if (P.HasQuery) Out += "?" + P.Query;
  if (P.HasFragment) Out += "#" + P.Fragment;
  return Out;
}

std::string Url_Resolve(const std::string &Base, const std::string &Ref) {
  TUrlParts B = Url_Split(Base), R = Url_Split(Ref), T;
  if (B.Scheme.empty()) return Url_Join(R);
  if (!R.Scheme.empty()) {
    T = R;
    T.Path = RemoveDotSegments(R.Path);
  } else {
    if (R.HasAuthority) {
      T.HasAuthority = true;
      T.Authority = R.Authority;
      T.Path = RemoveDotSegments(R.Path);
      T.HasQuery = R.HasQuery;
      T.Query = R.Query;
    } else {
      if (R.Path.empty()) {
        T.Path = B.Path;
        T.HasQuery = R.HasQuery || B.HasQuery;
        T.Query = R.HasQuery ? R.Query : B.Query;
      } else {
        T.Path = R.Path[0] == '/' ? RemoveDotSegments(R.Path) : RemoveDotSegments(MergePaths(B, R.Path));
        T.HasQuery = R.HasQuery;
        T.Query = R.Query;
      }
      T.HasAuthority = B.HasAuthority;
      T.Authority = B.Authority;
    }
    T.Scheme = B.Scheme;
  }
  T.HasFragment = R.HasFragment;
  T.Fragment = R.Fragment;
  // http(s) URLs always have a path.
  if ((T.Scheme == "http" || T.Scheme == "https") && T.HasAuthority && T.Path.empty())
    T.Path.assign(1, '/');  // not = "/": g++ 12 -O3 warns falsely (-Wrestrict) on that
  return Url_Join(T);
}

namespace {

// The parts of an authority: "user:pass@host:port".
struct TAuthority {
  std::string UserInfo;  // with its "@"; empty without one
  std::string Host;      // as written; an IPv6 address keeps its brackets
  std::string Port;      // with its ":"; empty without one
};

TAuthority SplitAuthority(const std::string &A) {
  TAuthority R;
  size_t At = A.rfind('@');
  std::string HostPort = A;
  if (At != std::string::npos) {
    R.UserInfo = A.substr(0, At + 1);
    HostPort = A.substr(At + 1);
  }
  size_t Colon = HostPort.rfind(':');
  size_t Close = HostPort.rfind(']');
  if (Colon != std::string::npos && (Close == std::string::npos || Colon > Close)) {
    R.Port = HostPort.substr(Colon);
    HostPort.erase(Colon);
  }
  R.Host = HostPort;
  return R;
}

std::string LowerAscii(std::string S) {
  for (char &C : S)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C + 32);
  return S;
}

bool IsWebScheme(const std::string &Scheme) { return Scheme == "http" || Scheme == "https"; }

// An origin as browsers serialise it: lower-case host, no default port.
std::string OriginOf(const TUrlParts &P) {
  TAuthority A = SplitAuthority(P.Authority);
  std::string Port = A.Port;
  if ((P.Scheme == "http" && Port == ":80") || (P.Scheme == "https" && Port == ":443") || Port == ":") Port.clear();
  return P.Scheme + "://" + LowerAscii(A.Host) + Port;
}

}  // namespace

std::string Url_SameKey(const std::string &Url) {
  TUrlParts P = Url_Split(Url);
  if (P.HasAuthority) {
    TAuthority A = SplitAuthority(P.Authority);
    P.Authority = A.UserInfo + LowerAscii(A.Host) + A.Port;
  }
  return Url_Join(P);
}

bool Url_Same(const std::string &A, const std::string &B) { return A == B || Url_SameKey(A) == Url_SameKey(B); }

std::string Url_HostName(const std::string &Url) {
  TUrlParts P = Url_Split(Url);
  return P.HasAuthority ? SplitAuthority(P.Authority).Host : std::string();
}

std::string Url_Referer(const std::string &PageUrl, const std::string &TargetUrl) {
  const TUrlParts Page = Url_Split(PageUrl);
  const TUrlParts Target = Url_Split(TargetUrl);
  if (!IsWebScheme(Page.Scheme) || !Page.HasAuthority) return {};
  if (Page.Scheme == "https" && Target.Scheme != "https") return {};
  const std::string Origin = OriginOf(Page);
  if (!IsWebScheme(Target.Scheme) || !Target.HasAuthority || OriginOf(Target) != Origin) return Origin + "/";
  // The page's own address as the browser holds it: no user information,
  // no fragment, the origin serialised as above.
  return Origin + (Page.Path.empty() ? std::string(1, '/') : Page.Path) + (Page.HasQuery ? "?" + Page.Query : std::string());
}

std::string Url_SaveName(const std::string &Url, const std::string &Fallback) {
  const std::string Path = Url_Split(Url).Path;
  return Fn_CleanName(Url_Decode(Path.substr(Path.rfind('/') == std::string::npos ? 0 : Path.rfind('/') + 1)), Fallback);
}
