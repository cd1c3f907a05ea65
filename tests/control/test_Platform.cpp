#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "jobs/uJobRec.h"
#include "platform/TRegistryStore.h"
#include "platform/TRuntimeDir.h"
#include "platform/uChannelFrame.h"
#include "platform/uLocalFile.h"
#include "pub/Unit_Pub.h"
#include "pub/uRegional.h"
#include "pub/uRunVars.h"
#include "pub/uTempFile.h"
#include "support/TestSupport.h"

TEST(StartMode, OnlyTheExactFirstParameterCounts) {
  struct {
    std::vector<const char *> Args;
    int Mode;
  } Cases[] = {
      {{"mossgather"}, 3},
      {{"mossgather", "-Embedding"}, 1},
      {{"mossgather", "-RealStr"}, 2},
      {{"mossgather", "-realstr"}, 3},
      {{"mossgather", "-REALSTR"}, 3},
      {{"mossgather", "x", "-RealStr"}, 3},
      {{"mossgather", "-RealStr "}, 3},
      {{"mossgather", "-embedding"}, 3},
  };
  for (auto &C : Cases) EXPECT_EQ(ParseStartMode(static_cast<int>(C.Args.size()), C.Args.data()), C.Mode) << C.Args.back();
}

TEST(Regional, DatesAndTimesInTheFixedFormats) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(2026, 12, 8), 46364);
  EXPECT_EQ(DateToStr(46364.5), "2026-12-08");
  EXPECT_EQ(TimeToStr(46364 + EncodeTime(14, 3, 21)), "14:03:21");
  EXPECT_EQ(DateToStr(0), "1899-12-30");
  TDateTime D = 0;
  EXPECT_TRUE(TryStrToDate("2024-02-29", D));
  EXPECT_EQ(DateToStr(D), "2024-02-29");
  for (const char *Bad : {"2023-02-29", "2026-13-01", "2026-1-01", "26-01-01", "", "2026/01/01", "2026-01-01 ", "abcd-ef-gh"})
    EXPECT_FALSE(TryStrToDate(Bad, D)) << Bad;
  EXPECT_THROW(StrToDate("x"), EMossError);
}

TEST(RegistryStore, KeysValuesAndTypes) {
  TTempDir D;
  TRegistryStore R(D.File("reg/registry.ini"));
  std::string S;
  int32_t N = 0;
  EXPECT_FALSE(R.KeyExists("Software\\Mossgather\\"));
  EXPECT_FALSE(R.ReadString("Software\\Mossgather\\", "CurExeFile", S));
  R.WriteString("Software\\Mossgather\\", "CurExeFile", "/opt/x/mossgather");
  R.WriteInteger("Software\\Menu\\ Save &image\\", "Contexts", 2);
  R.WriteString("Software\\Menu\\ Save &image\\", "", "/p/IEMenu/Img_One.htm");
  EXPECT_TRUE(R.KeyExists("software\\mossgather"));
  EXPECT_TRUE(R.ReadString("SOFTWARE\\Mossgather\\", "CurExeFile", S));
  EXPECT_EQ(S, "/opt/x/mossgather");
  EXPECT_TRUE(R.ReadInteger("Software\\Menu\\ Save &image\\", "Contexts", N));
  EXPECT_EQ(N, 2);
  EXPECT_FALSE(R.ReadString("Software\\Menu\\ Save &image\\", "Contexts", S));  // a number, not a string
  EXPECT_TRUE(R.ReadString("Software\\Menu\\ Save &image\\", "", S));
  EXPECT_EQ(S, "/p/IEMenu/Img_One.htm");
  EXPECT_EQ(R.SubKeys("Software\\Menu\\"), std::vector<std::string>{" Save &image"});
  R.WriteInteger("Software\\Menu\\ Save &image\\", "Contexts", -7);  // overwritten, not added
  EXPECT_TRUE(R.ReadInteger("Software\\Menu\\ Save &image\\", "Contexts", N));
  EXPECT_EQ(N, -7);
  EXPECT_TRUE(R.DeleteKey("Software\\Menu\\"));
  EXPECT_FALSE(R.KeyExists("Software\\Menu\\ Save &image\\"));
  EXPECT_TRUE(R.KeyExists("Software\\Mossgather\\"));
}

TEST(RegistryStore, WritersInTwoThreadsLoseNothing) {
  TTempDir D;
  TRegistryStore R(D.File("registry.ini"));
  auto Writer = [&](const char *Key) {
    for (int I = 0; I < 25; ++I) R.WriteInteger(Key, "v" + std::to_string(I), I);
  };
  std::thread A(Writer, "A\\"), B(Writer, "B\\");
  A.join();
  B.join();
  int32_t N = -1;
  for (int I = 0; I < 25; ++I) {
    EXPECT_TRUE(R.ReadInteger("A\\", "v" + std::to_string(I), N));
    EXPECT_TRUE(R.ReadInteger("B\\", "v" + std::to_string(I), N));
  }
}

TEST(RuntimeDir, PrivateFolderAndExclusiveLock) {
  TTempDir D;
  ::setenv("XDG_RUNTIME_DIR", D.Path().c_str(), 1);
  std::string Dir = RuntimeDir();
  EXPECT_EQ(Dir, D.Path() + "mossgather/");
  struct stat St;
  ASSERT_EQ(::stat(Dir.c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 0777, 0700u);
  ::chmod(Dir.c_str(), 0755);  // loosened by someone: tightened again
  RuntimeDir();
  ASSERT_EQ(::stat(Dir.c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 0777, 0700u);
  EXPECT_EQ(ChannelPath("Mossgather 0.12"), Dir + "Mossgather 0.12.sock");

  TInstanceLock First, Second;
  EXPECT_TRUE(First.TryLock("#Mossgather"));
  EXPECT_FALSE(Second.TryLock("#Mossgather"));  // flock is per open file, so this sees the first
  First.Release();
  EXPECT_TRUE(Second.TryLock("#Mossgather"));
  ::unsetenv("XDG_RUNTIME_DIR");
}

TEST(RuntimeDir, RefusesAFolderOfAnotherUser) {
  TTempDir D;
  std::string Dir = D.Path() + "mossgather";
  ASSERT_EQ(::mkdir(Dir.c_str(), 0700), 0);
  ASSERT_EQ(::chown(Dir.c_str(), 65534, 65534), 0);
  ::setenv("XDG_RUNTIME_DIR", D.Path().c_str(), 1);
  EXPECT_THROW(RuntimeDir(), EMossError);
  ::unsetenv("XDG_RUNTIME_DIR");
}

TEST(TempFiles, AHeldNameIsPassedOverUntilReleased) {
  TTempDir D;
  std::string First = GetTempFileIn(D.Path());
  HoldTempFile(First);
  // Held before its file exists (a download that has not begun writing)...
  EXPECT_EQ(GetTempFileIn(D.Path()), D.Path() + "txtmp/#tmp_1.html");
  // ...and while it does: the file is not taken away from under it.
  WriteFile(First, "0.14");
  EXPECT_EQ(GetTempFileIn(D.Path()), D.Path() + "txtmp/#tmp_1.html");
  EXPECT_TRUE(File_Exists(First));
  ReleaseTempFile(First);
  EXPECT_EQ(GetTempFileIn(D.Path()), First);
  EXPECT_FALSE(File_Exists(First));
}

TEST(TempFiles, NamesAreReusedWhenTheirFileCanGo) {
  TTempDir D;
  std::string First = GetTempFileIn(D.Path());
  EXPECT_EQ(First, D.Path() + "txtmp/#tmp_0.html");
  EXPECT_TRUE(Dir_Exists(D.Path() + "txtmp"));
  WriteFile(First, "<html>");
  EXPECT_EQ(GetTempFileIn(D.Path()), First);  // the old file was deletable
  EXPECT_FALSE(File_Exists(First));
  // A name whose entry cannot be deleted is skipped, then used again once free.
  ASSERT_TRUE(Dir_Force(First + "/held"));
  EXPECT_EQ(GetTempFileIn(D.Path()), D.Path() + "txtmp/#tmp_1.html");
  std::filesystem::remove_all(First);
  EXPECT_EQ(GetTempFileIn(D.Path()), First);

  WriteFile(D.Path() + "txtmp/#tmp_0.html", "a");
  WriteFile(D.Path() + "txtmp/#tmp_3.html", "b");
  WriteFile(D.Path() + "txtmp/note.txt", "c");
  ClearTempFiles(D.Path());
  EXPECT_FALSE(File_Exists(D.Path() + "txtmp/#tmp_0.html"));
  EXPECT_FALSE(File_Exists(D.Path() + "txtmp/#tmp_3.html"));
  EXPECT_TRUE(File_Exists(D.Path() + "txtmp/note.txt"));
  EXPECT_TRUE(Dir_Exists(D.Path() + "txtmp"));
}

TEST(TempFiles, AFolderThatCannotBeMadeIsAnError) {
  TTempDir D;
  WriteFile(D.File("txtmp"), "a file where the folder should be");
  try {
    GetTempFileIn(D.Path());
    FAIL() << "no error";
  } catch (const EMossError &E) {
    EXPECT_EQ(std::string(E.what()),
              "Err, Tips: \"Cannot create dir: " + D.Path() + "txtmp/\"; Mthd: [TMPC.GetTempFile]; SysMsg: ()");
  }
}

TEST(LocalFile, OnlyRegularFilesAreReadAndOnlyWithinTheirBound) {
  TTempDir D;
  TFifoTrap Fifo(D.File("fifo"));
  WriteFile(D.File("abc"), "abc");
  ASSERT_EQ(::symlink(D.File("abc").c_str(), D.File("to-abc").c_str()), 0);
  ASSERT_EQ(::symlink(Fifo.Path().c_str(), D.File("to-fifo").c_str()), 0);
  struct {
    std::string Path;
    size_t Max;
    TReadFail Fail;
    std::string Text;  // the bytes read, or a part of the reason
  } Cases[] = {
      {D.File("abc"), 3, TReadFail::None, "abc"},
      {D.File("to-abc"), 100, TReadFail::None, "abc"},
      {D.File("abc"), 2, TReadFail::TooLarge, "larger than 2 bytes"},
      {D.File("none"), 100, TReadFail::Missing, "No such file"},
      {D.File("abc/x"), 100, TReadFail::Missing, "Not a directory"},
      {D.Path(), 100, TReadFail::NotRegular, "not a regular file"},
      {Fifo.Path(), 100, TReadFail::NotRegular, "not a regular file"},
      {D.File("to-fifo"), 100, TReadFail::NotRegular, "not a regular file"},
      {"/dev/zero", 1u << 20, TReadFail::NotRegular, "not a regular file"},
      {"/dev/null", 100, TReadFail::NotRegular, "not a regular file"},
  };
  for (const auto &C : Cases) {
    std::string Out = "old";
    TReadResult R = ReadRegularFile(C.Path, Out, C.Max);
    EXPECT_EQ(R.Fail, C.Fail) << C.Path;
    if (C.Fail == TReadFail::None) {
      EXPECT_EQ(Out, C.Text) << C.Path;
      EXPECT_TRUE(R.Why.empty()) << C.Path;
    } else {
      EXPECT_TRUE(Out.empty()) << C.Path;
      EXPECT_NE(R.Why.find(C.Text), std::string::npos) << C.Path << ": " << R.Why;
      EXPECT_EQ(R.Why.rfind(C.Path, 0), 0u) << R.Why;  // the reason names the file
    }
  }
  EXPECT_FALSE(Fifo.Opened());
  // Files that report no size are read to their end, within the bound.
  std::string Status;
  EXPECT_TRUE(ReadRegularFile("/proc/self/status", Status, 1u << 20).Ok());
  EXPECT_NE(Status.find("Pid:"), std::string::npos);
  EXPECT_EQ(ReadRegularFile("/proc/self/status", Status, 8).Fail, TReadFail::TooLarge);
  // The descriptor handed out never blocks.
  TReadResult Why;
  int Fd = OpenRegularFile(D.File("abc"), &Why);
  ASSERT_GE(Fd, 0) << Why.Why;
  EXPECT_NE(::fcntl(Fd, F_GETFL) & O_NONBLOCK, 0);
  ::close(Fd);
  EXPECT_EQ(OpenRegularFile(Fifo.Path(), &Why), -1);
  EXPECT_EQ(Why.Fail, TReadFail::NotRegular);
}

TEST(ChannelFrame, WholeMessagesFromPiecesAndALimit) {
  std::string Wire = Frame_Encode("{\"a\":1}") + Frame_Encode("") + Frame_Encode("{\"b\":2}");
  TFrameReader R;
  std::vector<std::string> Got;
  for (char C : Wire) {  // one byte at a time
    R.Feed(std::string_view(&C, 1));
    while (auto M = R.Next()) Got.push_back(*M);
  }
  EXPECT_EQ(Got, (std::vector<std::string>{"{\"a\":1}", "", "{\"b\":2}"}));
  EXPECT_EQ(R.Buffered(), 0u);
  TFrameReader Small(16);
  Small.Feed(Frame_Encode(std::string(17, 'x')));
  EXPECT_FALSE(Small.Next());
  EXPECT_TRUE(Small.Failed());
  // What a message under way will hold is known from its length on.
  TFrameReader Part;
  Part.Feed(std::string("\x08\x00", 2));
  EXPECT_EQ(Part.Expected(), 2u);
  Part.Feed(std::string("\x00\x00{\"a\"", 6));
  EXPECT_EQ(Part.Expected(), 12u);
  Part.Feed(":12}" + Frame_Encode("{}").substr(0, 3));
  EXPECT_EQ(Part.Next(), std::optional<std::string>("{\"a\":12}"));
  EXPECT_EQ(Part.Expected(), 3u);
  Part.Feed(Frame_Encode("{}").substr(3));
  EXPECT_EQ(Part.Next(), std::optional<std::string>("{}"));
  EXPECT_EQ(Part.Buffered(), 0u);
  EXPECT_EQ(Frame_Encode("ab").substr(0, 4), std::string("\x02\x00\x00\x00", 4));
}

TEST(JobRecord, NewRecordAndKindTables) {
  TJobRec J;
  EXPECT_EQ(J.State, jsInitial);
  EXPECT_EQ(J.MonState, msQueue);
  EXPECT_EQ(J.SavedCnt, 0);
  EXPECT_TRUE(J.FileList.empty());
  EXPECT_EQ(J.FirstFile.Get(), "");
  EXPECT_EQ(J.Runner.Get(), nullptr);
  EXPECT_EQ(J.AddFile(WebpageContents, "/s/page.html").Status, fsPending);
  EXPECT_EQ(KindOfPickCode(pcOneImage), jkOneImage);  // code 1 is kind 2
  EXPECT_EQ(KindOfPickCode(pcFullPage), jkFullPage);
  EXPECT_EQ(KindOfPickCode(pcSnippet), jkSnippet);
  EXPECT_EQ(KindOfPickCode(pcAllImages), jkAllImages);
  EXPECT_EQ(KindOfPickCode(pcFlash), jkFlash);
  EXPECT_STREQ(KindTypeText(jkFullPage), "Text");
  EXPECT_STREQ(KindTypeText(jkOneImage), "Image");
  EXPECT_STREQ(KindTypeText(jkFlash), "Flash");
  EXPECT_STREQ(MonStateText(msEndError), "Job state: End with error");
  EXPECT_STREQ(MonStateText(msComplete), "Job state: complete");
  for (uint8_t S : {jsInitial, jsEditing, jsEdited, jsSaving}) EXPECT_TRUE(IsUnfinishedState(S));
  for (uint8_t S : {jsError, jsWarning, jsComplete}) EXPECT_FALSE(IsUnfinishedState(S));
}
