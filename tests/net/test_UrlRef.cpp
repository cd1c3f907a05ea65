#include <gtest/gtest.h>

#include "net/uUrlRef.h"

// The reference resolution examples every browser agrees on.
TEST(UrlRef, ResolvesTheStandardExamples) {
  const std::string Base = "http://a/b/c/d;p?q";
  const std::pair<const char *, const char *> Cases[] = {
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g/"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../../g", "http://a/g"},
      {"../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {"./../g", "http://a/b/g"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/../y", "http://a/b/c/y"},
  };
  for (const auto &[Ref, Want] : Cases) EXPECT_EQ(Url_Resolve(Base, Ref), Want) << Ref;
}

TEST(UrlRef, RedirectForms) {
  EXPECT_EQ(Url_Resolve("http://h:8080/x/y", "https://o/z"), "https://o/z");
  EXPECT_EQ(Url_Resolve("https://h/x/y", "//cdn.h/p.png"), "https://cdn.h/p.png");
  EXPECT_EQ(Url_Resolve("http://h:8080/x/y", "/p"), "http://h:8080/p");
  EXPECT_EQ(Url_Resolve("http://h:8080/x/y", "p"), "http://h:8080/x/p");
  EXPECT_EQ(Url_Resolve("HTTP://h", " p "), "http://h/p");
}
