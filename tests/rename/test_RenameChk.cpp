// The rename checks without a display: what needs a new name, the automatic
// names, the list rules and the folder creation.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"
#include "support/TestSupport.h"
#include "ui/uRenameChk.h"

namespace {

// Records every question and answers from a script (Cancel once it runs out).
struct TScriptedAsk {
  std::vector<TRenamReply> Replies;
  std::vector<uint8_t> Modes;
  std::vector<std::string> Names, Captions;
  TRenamAsk Fn() {
    return [this](TRenamChk &C) {
      Modes.push_back(C.Mode());
      Names.push_back(C.Dir() + C.SrcName() + C.Ext());
      Captions.push_back(TRenamChk::Caption(C.Mode()));
      size_t I = Modes.size() - 1;
      return I < Replies.size() ? Replies[I] : TRenamReply{};
    };
  }
};

TRenamReply Ok(const std::string &Name, bool Always = false) { return {TRenamAnswer::Ok, Name, Always}; }

class RenameChk : public ::testing::Test {
 protected:
  void SetUp() override { GParm = TGlobalParm(); }
  void TearDown() override { GParm = TGlobalParm(); }
  void Touch(const std::string &Name) { WriteFile(D.File(Name), "x"); }
  TTempDir D;
};

}  // namespace

TEST_F(RenameChk, ChkFileAsksOnlyForAnExistingOrInvalidTarget) {
  Touch("taken.jpg");
  Touch("both?.jpg");  // this file system allows the character, the saved name must not
  struct {
    const char *Name;
    int Questions;
    uint8_t Mode;
  } Cases[] = {
      {"free.jpg", 0, 0},
      {"taken.jpg", 1, rmSingle | rmExists},
      {"bad?.jpg", 1, rmSingle | rmInvalid},
      {"both?.jpg", 1, rmSingle | rmExists | rmInvalid},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Name);
    TScriptedAsk Ask;
    TRenamChk Chk(Ask.Fn());
    std::string P = D.File(C.Name);
    EXPECT_EQ(Chk.ChkFile(P), C.Questions == 0);  // the script cancels
    EXPECT_EQ(P, D.File(C.Name));
    ASSERT_EQ(static_cast<int>(Ask.Modes.size()), C.Questions);
    if (C.Questions) {
      EXPECT_EQ(Ask.Modes[0], C.Mode);
    }
  }
}

TEST_F(RenameChk, AutomaticNamesCountWithoutNestingAndCleanTheName) {
  struct {
    std::vector<const char *> Existing;
    const char *Target, *Expected;
  } Cases[] = {
      {{"a.jpg"}, "a.jpg", "a[1].jpg"},
      {{"a.jpg", "a[1].jpg"}, "a.jpg", "a[2].jpg"},
      {{"a[1].jpg"}, "a[1].jpg", "a[2].jpg"},
      {{"a[1].jpg", "a[2].jpg"}, "a[1].jpg", "a[3].jpg"},
      {{}, "what?.jpg", "what .jpg"},
      {{"what .jpg"}, "what?.jpg", "what [1].jpg"},
      {{}, "a<b>|c.txt", "a b  c.txt"},
      // A query left in the extension would keep every name invalid.
      {{}, "pic.php?id=3", "pic.php id=3"},
      {{"noext"}, "noext", "noext[1]"},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Target);
    TTempDir Dir;
    for (const char *E : C.Existing) WriteFile(Dir.File(E), "x");
    TRenamChk Chk;  // no question: automatic
    std::string P = Dir.File(C.Target);
    ASSERT_TRUE(Chk.ChkFile(P));
    EXPECT_EQ(P, Dir.File(C.Expected));
  }
}

TEST_F(RenameChk, TheSettingMakesEveryCheckAutomatic) {
  Touch("a.jpg");
  GParm.bFlAtRenam = true;
  TScriptedAsk Ask;
  TRenamChk Chk(Ask.Fn());
  std::string P = D.File("a.jpg");
  ASSERT_TRUE(Chk.ChkFile(P));
  EXPECT_EQ(P, D.File("a[1].jpg"));
  std::vector<std::string> L = {D.File("b.jpg"), D.File("b.jpg")};
  ASSERT_TRUE(Chk.ChkFList(L, false));
  EXPECT_EQ(L[1], D.File("b[1].jpg"));
  EXPECT_TRUE(Ask.Modes.empty());
}

TEST_F(RenameChk, ChkFListRenamesRepeatsAndKeepsTheCaseOfAcceptedEntries) {
  Touch("exists.jpg");
  Touch("Upper.JPG");
  Touch("n[1].png");
  std::string Sub = D.Path() + "Pics/";
  ASSERT_TRUE(Dir_Force(Sub));
  std::vector<std::string> L = {
      Sub + "Same.JPG",  // accepted unchanged, case kept
      Sub + "same.jpg",  // repeats it in another spelling
      Sub + "SAME.jpg",  // and again
      D.File("exists.jpg"),
      D.File("Upper.JPG"),  // the file by that spelling exists: the name goes lower case
      D.File("bad*.gif"),   D.File("n.png"),
      D.File("n.png"),  // n[1].png exists on disk, so the repeat skips it
      D.File("free.txt"),
  };
  ASSERT_TRUE(TRenamChk().ChkFList(L, true));
  std::vector<std::string> Want = {
      Sub + "Same.JPG",   Sub + "same[1].jpg", Sub + "same[2].jpg", D.File("exists[1].jpg"), D.File("upper.jpg"),
      D.File("bad .gif"), D.File("n.png"),     D.File("n[2].png"),  D.File("free.txt"),
  };
  EXPECT_EQ(L, Want);
}

TEST_F(RenameChk, ChkFListRenamesTheSecondOfTwoEqualPathsWithNothingOnDisk) {
  std::vector<std::string> L = {D.File("x.png"), D.File("x.png"), D.File("x[1].png")};
  TRenamChk Chk;
  ASSERT_TRUE(Chk.ChkFList(L, true));
  // The third asked for the name the second was given, so it moves on too.
  EXPECT_EQ(L, (std::vector<std::string>{D.File("x.png"), D.File("x[1].png"), D.File("x[2].png")}));
  EXPECT_EQ(Chk.Accepted().size(), 3u);
  std::vector<std::string> Empty;
  EXPECT_TRUE(Chk.ChkFList(Empty, false));
}

TEST_F(RenameChk, ACancelStopsTheListAndEarlierRenamesStay) {
  std::vector<std::string> L = {D.File("a.jpg"), D.File("a.jpg"), D.File("b.jpg"),
                                D.File("b.jpg"), D.File("c.jpg"), D.File("c.jpg")};
  TScriptedAsk Ask;
  Ask.Replies = {Ok("typed"), TRenamReply{}};
  TRenamChk Chk(Ask.Fn());
  EXPECT_FALSE(Chk.ChkFList(L, false));
  EXPECT_EQ(L, (std::vector<std::string>{D.File("a.jpg"), D.File("typed.jpg"), D.File("b.jpg"), D.File("b.jpg"), D.File("c.jpg"),
                                         D.File("c.jpg")}));
  ASSERT_EQ(Ask.Modes.size(), 2u);  // the c pair was never looked at
  EXPECT_EQ(Ask.Modes[0], rmList);
  EXPECT_EQ(Ask.Captions[0], "Rename dialog Checking save file list");
}

TEST_F(RenameChk, AnsweringAutoRenameAvoidsTheAcceptedNames) {
  std::vector<std::string> L = {D.File("p.gif"), D.File("p[1].gif"), D.File("p.gif")};
  TScriptedAsk Ask;
  Ask.Replies = {TRenamReply{TRenamAnswer::AutoRename, "", false}};
  TRenamChk Chk(Ask.Fn());
  ASSERT_TRUE(Chk.ChkFList(L, false));
  EXPECT_EQ(L[2], D.File("p[2].gif"));
}

TEST_F(RenameChk, AlwaysAutoRenameCountsOnlyAfterASettledName) {
  Touch("a.jpg");
  struct {
    TRenamReply Reply;
    bool Result, SettingAfter;
  } Cases[] = {
      {Ok("b", true), true, true},
      {TRenamReply{TRenamAnswer::AutoRename, "", true}, true, true},
      {TRenamReply{TRenamAnswer::Cancel, "", true}, false, false},
      {Ok("b", false), true, false},
  };
  for (const auto &C : Cases) {
    GParm.bFlAtRenam = false;
    TScriptedAsk Ask;
    Ask.Replies = {C.Reply};
    TRenamChk Chk(Ask.Fn());
    std::string P = D.File("a.jpg");
    EXPECT_EQ(Chk.ChkFile(P), C.Result);
    EXPECT_EQ(GParm.bFlAtRenam, C.SettingAfter);
    if (!C.Result) {
      EXPECT_EQ(P, D.File("a.jpg"));
    }
  }
  // Once on, the next check asks nothing.
  GParm.bFlAtRenam = true;
  TScriptedAsk Ask;
  TRenamChk Chk(Ask.Fn());
  std::string P = D.File("a.jpg");
  EXPECT_TRUE(Chk.ChkFile(P));
  EXPECT_EQ(P, D.File("a[1].jpg"));
  EXPECT_TRUE(Ask.Modes.empty());
}

TEST_F(RenameChk, ChkNewFnJudgesTheTypedName) {
  Touch("old.jpg");
  Touch("other.jpg");
  TNewFnCheck InList = TNewFnCheck::Ok, InSingle = TNewFnCheck::Ok;
  std::vector<std::pair<std::string, TNewFnCheck>> Seen;
  TRenamChk Chk([&](TRenamChk &C) {
    for (const char *N : {"fine", "bad?", "sub/x", "", "other", "OTHER"}) Seen.push_back({N, C.ChkNewFn(N)});
    (C.Mode() & rmList ? InList : InSingle) = C.ChkNewFn("Listed");
    return TRenamReply{};
  });
  std::vector<std::string> L = {D.File("listed.jpg"), D.File("old.jpg")};
  EXPECT_FALSE(Chk.ChkFList(L, false));
  EXPECT_EQ(InList, TNewFnCheck::InList);
  // A later single check does not look at the list's names.
  std::string P = D.File("old.jpg");
  EXPECT_FALSE(Chk.ChkFile(P));
  EXPECT_EQ(InSingle, TNewFnCheck::Ok);

  std::vector<std::pair<std::string, TNewFnCheck>> Want = {
      {"fine", TNewFnCheck::Ok},  {"bad?", TNewFnCheck::Invalid}, {"sub/x", TNewFnCheck::Invalid},
      {"", TNewFnCheck::Invalid}, {"other", TNewFnCheck::Exists}, {"OTHER", TNewFnCheck::Ok},
  };
  ASSERT_EQ(Seen.size(), 2 * Want.size());
  for (size_t I = 0; I < Seen.size(); ++I) EXPECT_EQ(Seen[I], Want[I % Want.size()]) << I;
  EXPECT_STREQ(TRenamChk::NewFnWarning(TNewFnCheck::Invalid), "INVALID file name, please retry!");
  EXPECT_STREQ(TRenamChk::NewFnWarning(TNewFnCheck::Exists), "File EXISTS, please retry!");
  EXPECT_STREQ(TRenamChk::NewFnWarning(TNewFnCheck::InList), "The File-name is already in list, please retry!");
}

TEST_F(RenameChk, OkUsesFolderTypedNameAndOldExtension) {
  Touch("a.tar.gz");
  TScriptedAsk Ask;
  Ask.Replies = {Ok("backup")};
  TRenamChk Chk(Ask.Fn());
  std::string P = D.File("a.tar.gz");
  ASSERT_TRUE(Chk.ChkFile(P));
  EXPECT_EQ(P, D.File("backup.gz"));
  EXPECT_EQ(Chk.Dir(), D.Path());
  EXPECT_EQ(Chk.SrcName(), "a.tar");
  EXPECT_EQ(Chk.Ext(), ".gz");
}

TEST(RenameCaption, TheListCheckWinsOverTheReason) {
  EXPECT_EQ(TRenamChk::Caption(rmSingle | rmExists), "Rename dialog EXISTENT file");
  EXPECT_EQ(TRenamChk::Caption(rmSingle | rmInvalid), "Rename dialog INVALID file name");
  EXPECT_EQ(TRenamChk::Caption(rmSingle | rmExists | rmInvalid), "Rename dialog EXISTENT file");
  EXPECT_EQ(TRenamChk::Caption(rmList), "Rename dialog Checking save file list");
  EXPECT_EQ(TRenamChk::Caption(rmList | rmExists | rmInvalid), "Rename dialog Checking save file list");
}

TEST_F(RenameChk, ChkDirBuildsMissingParents) {
  std::string Deep = D.Path() + "x/a/b/c";
  EXPECT_FALSE(TRenamChk::ChkDir(Deep, false));
  EXPECT_FALSE(Dir_Exists(D.Path() + "x"));
  EXPECT_TRUE(TRenamChk::ChkDir(Deep, true));
  EXPECT_TRUE(Dir_Exists(Deep));
  EXPECT_TRUE(TRenamChk::ChkDir(Deep + "/", false));
  EXPECT_TRUE(TRenamChk::ChkDir(D.Path() + "x/a/b/c/d/e/", true));  // a trailing slash as the editors pass it
  EXPECT_TRUE(Dir_Exists(D.Path() + "x/a/b/c/d/e"));
  EXPECT_TRUE(TRenamChk::ChkDir("/", false));
  EXPECT_FALSE(TRenamChk::ChkDir("", true));
}

TEST_F(RenameChk, ChkDirRefusesWhatCannotBeAFolder) {
  Touch("plain");
  EXPECT_FALSE(TRenamChk::ChkDir(D.File("plain"), true));
  EXPECT_FALSE(TRenamChk::ChkDir(D.File("plain/sub/deeper"), true));
  struct stat St;
  EXPECT_EQ(::stat(D.File("plain").c_str(), &St), 0);
  EXPECT_TRUE(S_ISREG(St.st_mode));
  EXPECT_FALSE(TRenamChk::ChkDir("/proc/no-such-mossgather-folder", true));
}

TEST_F(RenameChk, ChkDirMakesAtMostFiftyLevels) {
  std::string Fifty = D.Path() + "l";
  for (int I = 1; I < TRenamChk::MaxDirSteps; ++I) Fifty += "/l";
  std::string FiftyOne = Fifty + "/l";
  TTempDir Other;
  std::string OtherFiftyOne = Other.Path() + FiftyOne.substr(D.Path().size());
  EXPECT_FALSE(TRenamChk::ChkDir(OtherFiftyOne, true));
  EXPECT_FALSE(Dir_Exists(Other.Path() + "l"));  // refused before anything was made
  EXPECT_TRUE(TRenamChk::ChkDir(Fifty, true));
  EXPECT_TRUE(TRenamChk::ChkDir(FiftyOne, true));  // one more level is one step
}

TEST(RenameUnique, TheCounterSearchEnds) {
  TTempDir D;
  for (const char *N : {"a.jpg", "a[1].jpg", "a[2].jpg", "a[3].jpg"}) WriteFile(D.File(N), "x");
  std::string P = D.File("a.jpg");
  EXPECT_FALSE(Fn_MakeUnique(P, nullptr, 3));
  EXPECT_EQ(P, D.File("a.jpg"));
  EXPECT_TRUE(Fn_MakeUnique(P, nullptr, 4));
  EXPECT_EQ(P, D.File("a[4].jpg"));
}
