// The one way files are written safely: the target holds either its old
// content or the whole new one, what a killed writer leaves behind has a
// name that says it is temporary, and the next write into the folder
// removes it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "pub/Unit_Pub.h"
#include "pub/uMossError.h"
#include "pub/uSafeFile.h"
#include "support/TProcess.h"
#include "support/TScriptHttpServer.h"
#include "support/TestSupport.h"

TEST(SafeFile, TempNamesAreRecognisedAndNothingElse) {
  struct TCase {
    const char *Name;
    bool Ours;
  } Cases[] = {
      {".cfg.ini.mossgather-part-a1B2c3", true},
      {".x.mossgather-part-XXXXXX", true},
      {"cfg.ini.mossgather-part-a1B2c3", false},    // not hidden: a user's file
      {".cfg.ini.mossgather-part-a1B2c", false},    // random part too short
      {".cfg.ini.mossgather-part-a1B2c3d", false},  // too long
      {".pic.jpg.0123456789abcdef.part", false},
      {".mossgather-part-abcdef", false},
      {"", false},
  };
  for (const TCase &C : Cases) EXPECT_EQ(TSafeFile::IsTempName(C.Name), C.Ours) << C.Name;
}

TEST(SafeFile, CommitReplacesOrRefusesAndAFailureLeavesNothing) {
  TTempDir Dir;
  const std::string Target = Dir.File("a.txt");

  WriteFileAtomic(Target, "one");
  EXPECT_EQ(ReadFile(Target), "one");
  WriteFileAtomic(Target, "two");
  EXPECT_EQ(ReadFile(Target), "two");

  {
    TSafeFile F;
    ASSERT_TRUE(F.Create(Target));
    EXPECT_EQ(TempFileNames(Dir.Path()).size(), 1u);
    ASSERT_TRUE(F.Write("three"));
    ASSERT_TRUE(F.Close());
    EXPECT_FALSE(F.Commit(TSafeFile::TCommit::NoReplace));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadFile(Target), "two");
  }  // the refused file goes with the writer
  EXPECT_EQ(FolderNames(Dir.Path()), std::vector<std::string>{"a.txt"});

  {
    TSafeFile F;
    ASSERT_TRUE(F.Create(Dir.File("b.txt")));
    ASSERT_TRUE(F.Write("new"));
    ASSERT_TRUE(F.Close());
    ASSERT_TRUE(F.Commit(TSafeFile::TCommit::NoReplace));
  }
  EXPECT_EQ(ReadFile(Dir.File("b.txt")), "new");

  {
    TSafeFile F;
    ASSERT_TRUE(F.Create(Dir.File("c.txt")));
    ASSERT_TRUE(F.Write("dropped"));
  }  // never committed
  EXPECT_EQ(FolderNames(Dir.Path()), (std::vector<std::string>{"a.txt", "b.txt"}));

  // A folder that is not there: a clear error, nothing made.
  EXPECT_THROW(WriteFileAtomic(Dir.File("no/such/folder/x.txt"), "x"), EMossError);
  TSafeFile F;
  EXPECT_FALSE(F.Create(Dir.File("no/such/folder/x.txt")));
  EXPECT_FALSE(F.Create(Dir.Path()));  // no name
}

TEST(SafeFile, ALongNameStillGetsATempNameThatFits) {
  TTempDir Dir;
  const std::string Target = Dir.File(std::string(250, 'n'));
  WriteFileAtomic(Target, "long");
  EXPECT_EQ(ReadFile(Target), "long");
  EXPECT_EQ(FolderNames(Dir.Path()).size(), 1u);
}

TEST(SafeFile, TheFileTakesTheUsualPermissions) {
  TTempDir Dir;
  const mode_t Mask = ::umask(022);
  ::umask(Mask);
  WriteFileAtomic(Dir.File("p.txt"), "x");
  struct stat St {};
  ASSERT_EQ(::stat(Dir.File("p.txt").c_str(), &St), 0);
  // As any other program's new file: not for the owner alone.
  EXPECT_EQ(St.st_mode & 0777, 0666u & ~Mask);
}

TEST(SafeFile, StaleTempFilesGoButNotOneInUse) {
  TTempDir Dir;
  WriteFile(Dir.File(".old.txt.mossgather-part-Q1w2E3"), "left by a killed writer");
  WriteFile(Dir.File(".keep.txt.0123456789abcdef.part"), "a user's file");
  TSafeFile Busy;
  ASSERT_TRUE(Busy.Create(Dir.File("busy.txt")));  // the first write clears the stale one
  EXPECT_EQ(TempFileNames(Dir.Path()).size(), 1u);
  ASSERT_TRUE(Busy.Write("still writing"));

  WriteFileAtomic(Dir.File("other.txt"), "x");
  const std::vector<std::string> Left = TempFileNames(Dir.Path());
  ASSERT_EQ(Left.size(), 1u);
  EXPECT_EQ(Dir.Path() + Left[0], Busy.TempPath());
  EXPECT_TRUE(File_Exists(Dir.File(".keep.txt.0123456789abcdef.part")));

  ASSERT_TRUE(Busy.Close());
  ASSERT_TRUE(Busy.Commit(TSafeFile::TCommit::Replace));
  EXPECT_EQ(ReadFile(Dir.File("busy.txt")), "still writing");
}

// Files written side by side into one folder: one that is written and
// flushed but not yet named is still in use, and another writer's clearing
// leaves it alone. A file emptied midway holds only what came after.
TEST(SafeFile, AFlushedFileAwaitingItsNameIsNotClearedAway) {
  TTempDir Dir;
  TSafeFile Done;
  ASSERT_TRUE(Done.Create(Dir.File("done.txt")));
  ASSERT_TRUE(Done.Write("first try, cut off"));
  ASSERT_TRUE(Done.Truncate());
  ASSERT_TRUE(Done.Write("complete"));
  ASSERT_TRUE(Done.Close());
  EXPECT_FALSE(Done.IsOpen());
  EXPECT_FALSE(Done.Write("late"));
  EXPECT_EQ(errno, EBADF);

  TSafeFile Next;
  ASSERT_TRUE(Next.Create(Dir.File("next.txt")));  // clears the folder's stale files
  WriteFileAtomic(Dir.File("other.txt"), "x");
  ASSERT_TRUE(Done.Commit(TSafeFile::TCommit::Replace));
  EXPECT_EQ(ReadFile(Dir.File("done.txt")), "complete");

  // Committing an open file would name a file still being written.
  ASSERT_TRUE(Next.Write("part"));
  EXPECT_FALSE(Next.Commit(TSafeFile::TCommit::Replace));
  EXPECT_FALSE(File_Exists(Dir.File("next.txt")));
}

// Each of the program's safe writes, killed with SIGKILL in the middle: the
// old target is as it was, the left-over file is a hidden one named after
// the target, and the next write into the folder removes it.
TEST(SafeFile, AWriteKilledMidwayKeepsTheOldTarget) {
  TScriptHttpServer Srv;
  const std::string Body(300000, 'b');
  Srv.On("/big", TScriptHttpServer::Response("200 OK", Body));

  struct TCase {
    const char *Mode, *File, *Old;
    std::string Extra;
  };
  TTempDir Src;
  WriteFile(Src.File("cached.bin"), std::string(600000, 'c'));
  const TCase Cases[] = {
      {"settings", "cfg.ini", "[Setting]\nsDir_Def=/the/old/folder/\n", ""},
      {"download", "pic.jpg", "the old picture", Srv.Url("/big")},
      // A copy never takes the place of a file, so there is no old one.
      {"copy", "page.png", nullptr, Src.File("cached.bin")},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Mode);
    TTempDir Dir;
    const std::string Target = Dir.File(C.File), Marker = Src.File(std::string(C.Mode) + ".marker");
    if (C.Old) WriteFile(Target, C.Old);
    {
      TProcess Child(SAFE_WRITE_CHILD_EXE, {C.Mode, Marker, Target, C.Extra});
      ASSERT_TRUE(WaitFor([&] { return File_Exists(Marker) || !Child.Running(); }, 20000))
          << "the write did not reach its temporary file";
      ASSERT_TRUE(File_Exists(Marker)) << "the writer ended before it wrote";
      Child.Signal(SIGKILL);
      ASSERT_TRUE(Child.Wait(60000)) << "the writer did not end on SIGKILL";
    }
    if (C.Old)
      EXPECT_EQ(ReadFile(Target), C.Old);
    else
      EXPECT_FALSE(File_Exists(Target));
    const std::vector<std::string> Left = TempFileNames(Dir.Path());
    ASSERT_EQ(Left.size(), 1u);
    EXPECT_EQ(Dir.Path() + Left[0], ReadFile(Marker));
    EXPECT_EQ(Left[0].rfind("." + std::string(C.File) + ".mossgather-part-", 0), 0u) << Left[0];

    WriteFileAtomic(Dir.File("next.txt"), "next");
    EXPECT_TRUE(TempFileNames(Dir.Path()).empty());
  }
}
