#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/TUrlCache.h"
#include "platform/uLocalFile.h"
#include "pub/Unit_Pub.h"
#include "support/TestSupport.h"

TEST(UnitPub, UrlLocalFileReadsOnlyRegularFilesAndOnlyForALocalPage) {
  TTempDir D;
  WriteFile(D.File("b.htm"), "x");
  WriteFile(D.File("a b.htm"), "x");
  ASSERT_EQ(::mkfifo(D.File("fifo").c_str(), 0600), 0);
  const std::string Local = "file://" + D.File("page.html"), Web = "http://example.test/page.html";
  const std::string F = "file://" + D.Path();
  struct TCase {
    std::string Url, Page, Want;
  } Cases[] = {
      {F + "b.htm", Local, D.File("b.htm")},
      {F + "a%20b.htm", Local, D.File("a b.htm")},
      {"FILE://" + D.File("b.htm"), Local, D.File("b.htm")},
      {F + "b.htm#part", Local, D.File("b.htm")},
      {F + "b.htm", "FILE://" + D.File("page.html"), D.File("b.htm")},
      {F + "b.htm", Web, ""},   // a web page never reads a local file
      {F + "b.htm", "", ""},    // nor does a page of unknown origin
      {F + "fifo", Local, ""},  // only regular files
      {F, Local, ""},
      {F + "missing", Local, ""},
      {F + "b.htm%00.jpg", Local, ""},  // no NUL cuts the path short
      {"file://otherhost" + D.File("b.htm"), Local, ""},
  };
  for (const TCase &C : Cases) EXPECT_EQ(Url_LocalFile(C.Url, C.Page), C.Want) << C.Url << " on " << C.Page;
  EXPECT_TRUE(Url_IsFile(" File:///x"));
  EXPECT_FALSE(Url_IsFile("http://h/file:///x"));
}

TEST(UnitPub, UrlCacheLookupAndEntries) {
  TTempDir D;
  TUrlCache Cache(D.Path());
  EXPECT_EQ(Cache.LocalFile("http://127.0.0.1/not-cached.png"), "");
  const std::string Png = std::string("\x89PNG\r\n\x1A\n", 8) + "PNGDATA";
  std::string Local = Cache.Store("http://127.0.0.1/x/p.png?s=1", Png);
  EXPECT_EQ(Cache.LocalFile("http://127.0.0.1/x/p.png?s=1"), Local);
  EXPECT_EQ(ReadFile(Local), Png);
  EXPECT_EQ(Cache.Entries().size(), 1u);
  EXPECT_TRUE(Cache.Delete("http://127.0.0.1/x/p.png?s=1"));
  EXPECT_EQ(Cache.LocalFile("http://127.0.0.1/x/p.png?s=1"), "");
  EXPECT_TRUE(Cache.Entries().empty());
}

TEST(UnitPub, NamePieces) {
  EXPECT_EQ(Url_FileName("http://h/a/"), "");
  EXPECT_EQ(Url_FileName("noslash"), "noslash");
  EXPECT_EQ(Url_FileName("http://h/a/p.jpg?x=1"), "p.jpg?x=1");
  EXPECT_EQ(Fn_NameNoExt("a.b.c"), "a.b");
  EXPECT_EQ(Fn_NameNoExt(".cfg"), "");
  EXPECT_EQ(Fn_NameNoExt("/x/y/name.txt"), "name");
  EXPECT_EQ(Fn_ExtractName("/x/y/name.txt"), "name.txt");
  EXPECT_EQ(Fn_ExtractExt("/x.d/name"), "");
  EXPECT_EQ(Fn_ExtractDir("/x/y/name.txt"), "/x/y/");
}

TEST(UnitPub, InvalidCharacters) {
  std::string S = "a:b?c";
  Fn_ClrInvalid(S);
  EXPECT_EQ(S, "a b c");
  std::string Clean = "plain name.txt";
  Fn_ClrInvalid(Clean);
  EXPECT_EQ(Clean, "plain name.txt");
  std::string All = "\\/:\"*<>?|\n\r";
  Fn_ClrInvalid(All);
  EXPECT_EQ(All, std::string(11, ' '));
  EXPECT_FALSE(Fn_HasInvalid("/dir:with:colons/ok.txt"));
  EXPECT_TRUE(Fn_HasInvalid("/dir/bad?.txt"));
}

TEST(UnitPub, MakeUniqueCountsWithoutNesting) {
  TTempDir D;
  std::string P = D.File("pic.jpg");
  WriteFile(P, "x");
  Fn_MakeUnique(P);
  EXPECT_EQ(P, D.File("pic[1].jpg"));
  WriteFile(P, "x");
  P = D.File("pic.jpg");
  Fn_MakeUnique(P);
  EXPECT_EQ(P, D.File("pic[2].jpg"));

  std::string One = D.File("pic[1].jpg");
  Fn_MakeUnique(One);
  EXPECT_EQ(One, D.File("pic[2].jpg"));

  std::string Twelve = D.File("pic[12].jpg");
  WriteFile(Twelve, "x");
  Fn_MakeUnique(Twelve);
  EXPECT_EQ(Twelve, D.File("pic[12][1].jpg"));

  std::string Free = D.File("free.jpg");
  Fn_MakeUnique(Free);
  EXPECT_EQ(Free, D.File("free.jpg"));

  std::vector<std::string> Taken = {D.File("FREE.JPG")};
  Fn_MakeUnique(Free, &Taken);
  EXPECT_EQ(Free, D.File("free[1].jpg"));
}

TEST(UnitPub, FolderHelpers) {
  std::string S = "/a";
  Dir_AddSlash(S);
  EXPECT_EQ(S, "/a/");
  Dir_AddSlash(S);
  EXPECT_EQ(S, "/a/");
  TTempDir D;
  EXPECT_TRUE(Dir_Exists(D.Path()));
  EXPECT_FALSE(Dir_Exists(D.File("none")));
  WriteFile(D.File("f"), "x");
  EXPECT_FALSE(Dir_Exists(D.File("f")));
  EXPECT_TRUE(Dir_Force(D.File("p/q/r")));
}

TEST(UnitPub, DelFilesByMaskLeavesFoldersAlone) {
  TTempDir D;
  WriteFile(D.File("#tmp_0.html"), "x");
  WriteFile(D.File("keep.txt"), "x");
  ASSERT_EQ(::mkdir(D.File("sub.html").c_str(), 0755), 0);
  char Before[4096];
  ASSERT_TRUE(getcwd(Before, sizeof Before));
  EXPECT_TRUE(Dir_DelFiles(D.Path(), "*.html"));
  EXPECT_FALSE(File_Exists(D.File("#tmp_0.html")));
  EXPECT_TRUE(File_Exists(D.File("keep.txt")));
  EXPECT_TRUE(Dir_Exists(D.File("sub.html")));
  EXPECT_FALSE(Dir_DelFiles(D.Path(), "*.png"));
  char After[4096];
  ASSERT_TRUE(getcwd(After, sizeof After));
  EXPECT_STREQ(Before, After);
  EXPECT_THROW(Dir_DelFiles(D.File("missing"), "*"), EMossError);
}

TEST(UnitPub, FileSizes) {
  TTempDir D;
  EXPECT_EQ(File_SizeOf(D.File("missing")), -1);
  WriteFile(D.File("ten"), "0123456789");
  EXPECT_EQ(File_SizeOf(D.File("ten")), 10);
  // A sparse 3 GiB file: the size is neither negative nor wrapped.
  std::string Big = D.File("big");
  ASSERT_EQ(truncate((WriteFile(Big, ""), Big.c_str()), int64_t{3} << 30), 0);
  EXPECT_EQ(File_SizeOf(Big), int64_t{3} << 30);
  EXPECT_EQ(Fmt_FileSize(File_SizeOf(Big)), "3072.0 M");

  EXPECT_EQ(Fmt_FileSize(0), "0 B");
  EXPECT_EQ(Fmt_FileSize(1024), "1024 B");
  EXPECT_EQ(Fmt_FileSize(1025), "1.0 K");
  EXPECT_EQ(Fmt_FileSize(1536), "1.5 K");
  EXPECT_EQ(Fmt_FileSize(1048576), "1.0 M");
}

TEST(UnitPub, TextHelpers) {
  EXPECT_EQ(Trim("  a b \r\n"), "a b");
  EXPECT_TRUE(SameText("AbC", "aBc"));
  EXPECT_EQ(StringReplaceAll("a\\b\\c", "\\", "/"), "a/b/c");
  EXPECT_EQ(Url_Decode("a%2Fb%zz%4"), "a/b%zz%4");
  EXPECT_EQ(Int_Min(3, -1), -1);
  EXPECT_EQ(Int_Max(3, -1), 3);
}

TEST(UnitPub, CleanNamesAreSafeNonEmptyAndBounded) {
  const std::pair<std::string, std::string> Cases[] = {
      {"plain name.txt", "plain name.txt"},
      {"a:b?c", "a b c"},
      {std::string("a\0b", 3), "a b"},
      {"tab\there\x7F", "tab here"},
      {"  ..hidden.txt ", "hidden.txt"},
      {".", "fallback"},
      {"..", "fallback"},
      {"<>:|?*", "fallback"},
      {"", "fallback"},
      {"\xC3\xA4rger.png", "\xC3\xA4rger.png"},
  };
  for (const auto &[In, Want] : Cases) EXPECT_EQ(Fn_CleanName(In, "fallback"), Want) << In;
}

TEST(UnitPub, CutNamesKeepWholeCharactersAndTheirExtension) {
  std::string Euros;
  for (int I = 0; I < 100; ++I) Euros += "\xE2\x82\xAC";  // 300 bytes
  const std::string Cut = Fn_CutName(Euros);
  EXPECT_EQ(Cut, Euros.substr(0, 198));  // 66 whole characters
  EXPECT_EQ(Fn_CutName(Euros + ".jpeg"), Euros.substr(0, 195) + ".jpeg");
  EXPECT_EQ(Fn_CutName(std::string(300, 'a') + ".x" + std::string(40, 'b')).size(), FnMaxBytes);  // no short extension
  EXPECT_EQ(Fn_CutName(std::string(150, 'a') + std::string(60, ' ') + ".png"), std::string(150, 'a') + ".png");
  EXPECT_EQ(Fn_CutName("short.txt"), "short.txt");
  // Bytes that are no UTF-8 are cut where the bound is.
  EXPECT_EQ(Fn_CutName(std::string(300, '\x80')).size(), FnMaxBytes);
}

TEST(UnitPub, MoveNewNeverReplacesAFile) {
  TTempDir D;
  WriteFile(D.File("src"), "new");
  WriteFile(D.File("taken"), "old");
  EXPECT_FALSE(File_MoveNew(D.File("src"), D.File("taken")));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(ReadFile(D.File("taken")), "old");
  EXPECT_EQ(ReadFile(D.File("src")), "new");
  ASSERT_EQ(::symlink(D.File("nowhere").c_str(), D.File("dangling").c_str()), 0);
  EXPECT_FALSE(File_MoveNew(D.File("src"), D.File("dangling")));
  EXPECT_TRUE(File_MoveNew(D.File("src"), D.File("free")));
  EXPECT_EQ(ReadFile(D.File("free")), "new");
  EXPECT_FALSE(Path_Exists(D.File("src")));
}

TEST(UnitPub, ACacheEntryIsUsedOnlyWhenItsBytesAreAPicture) {
  const std::string Jpeg("\xFF\xD8\xFF\xE0", 4), Png("\x89PNG\r\n\x1A\n", 8), Html = "<!DOCTYPE HTML><html>";
  struct TCase {
    const char *Ext;
    std::string Head;
    bool Fits;
  } Cases[] = {
      {".jpg", Jpeg, true},
      {".JPG", Jpeg, true},
      {".jpg", Html, false},
      {".jpeg", Png, true},  // a picture under another format's name is still a picture
      {".png", Png, true},
      {".png", "", false},
      {".gif", "GIF89a", true},
      {".gif", "GIF", false},
      {".bmp", "BM..", true},
      {".webp", "RIFF....WEBPVP8 ", true},
      {".webp", "RIFF....AVI ", false},
      {".bin", Html, true},  // no type claimed, nothing to judge
      {".svg", "<svg", true},
  };
  for (const TCase &C : Cases) EXPECT_EQ(TUrlCache::BytesFitExt(C.Ext, C.Head), C.Fits) << C.Ext << " " << C.Head;

  TTempDir D;
  TUrlCache Cache(D.Path());
  Cache.Store("http://h/pics/HERO.JPG", Html + "404 Not Found");
  EXPECT_EQ(Cache.LocalFile("http://h/pics/HERO.JPG"), "");
  Cache.Store("http://h/pics/HERO.JPG", Jpeg + "a picture");
  EXPECT_NE(Cache.LocalFile("http://h/pics/HERO.JPG"), "");
  EXPECT_EQ(Cache.LocalFile("http://h/pics/hero.jpg"), "");  // another address
}

TEST(UnitPub, TheUrlCacheKeepsNoPassword) {
  TTempDir D;
  TUrlCache Cache(D.Path());
  const std::string Gif = "GIF89a...";
  const std::string Local = Cache.Store("http://alice:s3cret@h/a.gif", Gif);
  EXPECT_EQ(Cache.LocalFile("http://h/a.gif"), Local);
  EXPECT_EQ(Cache.LocalFile("http://bob:other@h/a.gif"), Local);
  EXPECT_EQ(Cache.Entries(), (std::vector<std::string>{"http://h/a.gif"}));
  for (const auto &E : std::filesystem::directory_iterator(D.Path()))
    EXPECT_EQ(ReadFile(E.path().string()).find("s3cret"), std::string::npos) << E.path();
  EXPECT_TRUE(Cache.Delete("http://alice:s3cret@h/a.gif"));
  EXPECT_TRUE(Cache.Entries().empty());
}

TEST(UnitPub, CodePointsBecomeUtf8AndTheImpossibleOnesTheReplacementCharacter) {
  struct {
    uint32_t Cp;
    const char *Want;
  } Cases[] = {{0x41, "A"},         {0xE9, "\xC3\xA9"},       {0x20AC, "\xE2\x82\xAC"},  {0x1F600, "\xF0\x9F\x98\x80"},
               {0, "\xEF\xBF\xBD"}, {0xD800, "\xEF\xBF\xBD"}, {0x110000, "\xEF\xBF\xBD"}};
  for (const auto &C : Cases) {
    std::string Out = "x";
    Str_AppendUtf8(Out, C.Cp);
    EXPECT_EQ(Out, std::string("x") + C.Want) << C.Cp;
  }
}
