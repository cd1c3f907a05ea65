#include <gtest/gtest.h>

#include "net/uCookieJar.h"

namespace {

constexpr double Now = 1700000000;

TCookie Ck(const std::string &Name, const std::string &Domain, const std::string &Path = "/", bool HostOnly = true,
           bool Secure = false, double Expires = 0) {
  TCookie C;
  C.Name = Name;
  C.Value = "v" + Name;
  C.Domain = Domain;
  C.Path = Path;
  C.HostOnly = HostOnly;
  C.Secure = Secure;
  C.Expires = Expires;
  return C;
}

}  // namespace

TEST(CookieJar, EachCookieGoesWhereTheBrowserWouldSendIt) {
  TCookieJar Jar;
  ASSERT_TRUE(Jar.Add(Ck("host", "pics.example.org")));
  ASSERT_TRUE(Jar.Add(Ck("dom", ".Example.org", "/", false)));
  ASSERT_TRUE(Jar.Add(Ck("deep", "pics.example.org", "/album")));
  ASSERT_TRUE(Jar.Add(Ck("slash", "pics.example.org", "/album/")));
  ASSERT_TRUE(Jar.Add(Ck("sec", "pics.example.org", "/", true, true)));
  ASSERT_TRUE(Jar.Add(Ck("old", "pics.example.org", "/", true, false, Now - 1)));
  ASSERT_TRUE(Jar.Add(Ck("new", "pics.example.org", "/", true, false, Now + 3600)));
  ASSERT_TRUE(Jar.Add(Ck("ip", "127.0.0.1")));
  ASSERT_TRUE(Jar.Add(Ck("ipdom", "0.0.1", "/", false)));
  const std::pair<const char *, const char *> Cases[] = {
      {"http://pics.example.org/x.jpg", "host=vhost; dom=vdom; new=vnew"},
      {"HTTP://PICS.Example.ORG/x.jpg", "host=vhost; dom=vdom; new=vnew"},
      {"https://pics.example.org/x.jpg", "host=vhost; dom=vdom; sec=vsec; new=vnew"},
      // Longer paths first; "/album" covers itself and what lies under it only.
      {"http://pics.example.org/album", "deep=vdeep; host=vhost; dom=vdom; new=vnew"},
      {"http://pics.example.org/album/1.jpg?x=/y", "slash=vslash; deep=vdeep; host=vhost; dom=vdom; new=vnew"},
      {"http://pics.example.org/albums/1.jpg", "host=vhost; dom=vdom; new=vnew"},
      // A domain cookie reaches the domain and the names under it, nothing else.
      {"http://example.org/", "dom=vdom"},
      {"http://a.b.example.org:8080/", "dom=vdom"},
      {"http://badexample.org/", ""},
      {"http://example.org.evil.test/", ""},
      {"http://other.example.org/", "dom=vdom"},
      // An address matches only itself.
      {"http://127.0.0.1:8080/p", "ip=vip"},
      {"http://10.0.0.1/", ""},
      {"ftp://pics.example.org/x", ""},
      {"file:///pics.example.org/x", ""},
  };
  for (const auto &[Url, Want] : Cases) EXPECT_EQ(Jar.HeaderFor(Url, Now), Want) << Url;
  // Expiry is judged at the time of the request.
  EXPECT_EQ(Jar.HeaderFor("http://pics.example.org/", Now + 7200), "host=vhost; dom=vdom");
  EXPECT_EQ(Jar.HeaderFor("http://pics.example.org/", Now - 10), "host=vhost; dom=vdom; old=vold; new=vnew");
}

TEST(CookieJar, CookiesThatCouldBreakTheRequestAreLeftOut) {
  TCookieJar Jar;
  TCookie C = Ck("a", "h.org");
  EXPECT_TRUE(Jar.Add(C));
  C.Value = "new";
  EXPECT_TRUE(Jar.Add(C));  // the same name, domain and path: replaced
  EXPECT_EQ(Jar.Size(), 1u);
  EXPECT_EQ(Jar.HeaderFor("http://h.org/", Now), "a=new");
  const std::pair<const char *, TCookie> Bad[] = {
      {"CR LF in the value",
       [] {
         auto K = Ck("b", "h.org");
         K.Value = "x\r\nX-Evil: 1";
         return K;
       }()},
      {"semicolon in the value",
       [] {
         auto K = Ck("b", "h.org");
         K.Value = "x; admin=1";
         return K;
       }()},
      {"equals in the name", Ck("b=c", "h.org")},
      {"no domain", Ck("b", "")},
      {"control byte in the path", Ck("b", "h.org", "/a\tb")},
  };
  for (const auto &[Why, K] : Bad) EXPECT_FALSE(Jar.Add(K)) << Why;
  EXPECT_EQ(Jar.Size(), 1u);
  // A nameless cookie is sent as its value, as browsers do; a path that is
  // no path counts as the root.
  TCookie N = Ck("", "h.org", "nopath");
  N.Value = "bare";
  EXPECT_TRUE(Jar.Add(N));
  EXPECT_EQ(Jar.HeaderFor("http://h.org/x", Now), "a=new; bare");
}

TEST(CookieJar, MaskedValuesKeepNamesAndAttributes) {
  const std::pair<const char *, const char *> Cases[] = {
      {"sid=abc123", "sid=..."},
      {"sid=abc; lang=en", "sid=...; lang=..."},
      {"sid=abc; Path=/; HttpOnly; Max-Age=60", "sid=...; Path=/; HttpOnly; Max-Age=60"},
      {"secret", "..."},
      {"", ""},
  };
  for (const auto &[In, Out] : Cases) EXPECT_EQ(Cookie_Masked(In), Out) << In;
}
