#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <thread>

#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "support/TestSupport.h"

namespace {
std::vector<std::string> Lines(const std::string &Text) {
  std::vector<std::string> Out;
  size_t P = 0;
  for (size_t E; (E = Text.find("\r\n", P)) != std::string::npos; P = E + 2) Out.push_back(Text.substr(P, E - P));
  EXPECT_EQ(P, Text.size()) << "every line ends in CR LF";
  return Out;
}
}  // namespace

TEST(Logger, LineFormatAndLevels) {
  TTempDir D;
  TLogger L(D.File("log.txt"));
  L.Info_Job("[Flow_Edit]: Start to edit the job.", 12);
  L.Err("e", false);
  L.Warn("w", false);
  L.Warn_Job("wj", 3);
  L.Way("way", false);
  L.ErrFmt(ErrTipsFmt, {"tip", "TX.Y", "sys"}, false);
  L.FatalFmt("fatal %d", {1});
  auto Got = Lines(ReadFile(D.File("log.txt")));
  ASSERT_EQ(Got.size(), 7u);
  const std::regex Stamp(R"(^\d{4}-\d{2}-\d{2}_\d{2}:\d{2}:\d{2}: )");
  for (const auto &G : Got) EXPECT_TRUE(std::regex_search(G, Stamp)) << G;
  const char *Want[] = {"[ Info]: JobID: 12, [Flow_Edit]: Start to edit the job.",
                        "[Error]: e",
                        "[ Warn]: w",
                        "[ Warn]: JobID: 3, wj",
                        "[  Way]: way",
                        "[Error]: Err, Tips: \"tip\"; Mthd: [TX.Y]; SysMsg: (sys)",
                        "[Fatal]: fatal 1"};
  for (size_t I = 0; I < Got.size(); ++I) EXPECT_EQ(Got[I].substr(21), Want[I]);
}

TEST(Logger, InfoWaitsForAFlushAndFatalIsWrittenAtOnce) {
  TTempDir D;
  std::string Path = D.File("log.txt");
  {
    TLogger L(Path);
    L.Info("held");
    L.Err("not flushed", false);
    EXPECT_FALSE(File_Exists(Path));
    L.Fatal("now");
    auto First = Lines(ReadFile(Path));
    ASSERT_EQ(First.size(), 3u);
    EXPECT_NE(First[2].find("[Fatal]: now"), std::string::npos);
    L.Info("after");
    L.Warn("flushed", true);
    auto Second = Lines(ReadFile(Path));
    ASSERT_EQ(Second.size(), 5u);  // only the new lines were appended
    EXPECT_NE(Second[3].find("after"), std::string::npos);
    L.Info("at exit");
    EXPECT_EQ(Lines(ReadFile(Path)).size(), 5u);
  }
  EXPECT_EQ(Lines(ReadFile(Path)).size(), 6u);  // the destructor flushed it
}

TEST(Logger, LineBreaksJoinIntoOneLine) {
  TTempDir D;
  TLogger L(D.File("log.txt"));
  L.Err("first\r\nsecond\nthird\rfourth", true);
  auto Got = Lines(ReadFile(D.File("log.txt")));
  ASSERT_EQ(Got.size(), 1u);
  EXPECT_EQ(Got[0].substr(21), "[Error]: first# second third#fourth");
}

TEST(Logger, LinesFromManyThreadsNeverMix) {
  TTempDir D;
  {
    TLogger L(D.File("log.txt"));
    std::vector<std::thread> Ts;
    for (int T = 0; T < 4; ++T)
      Ts.emplace_back([&L, T] {
        for (int I = 0; I < 500; ++I) {
          L.Info_Job(std::string(40, static_cast<char>('a' + T)), T);
          if (I % 50 == 0) L.Err("flush", true);
        }
      });
    for (auto &T : Ts) T.join();
  }
  auto Got = Lines(ReadFile(D.File("log.txt")));
  EXPECT_EQ(Got.size(), 4u * 500 + 4 * 10);
  const std::regex Whole(R"(^\S+: \[ Info\]: JobID: (\d), ([a-d])\2{39}$|^\S+: \[Error\]: flush$)");
  for (const auto &G : Got) EXPECT_TRUE(std::regex_match(G, Whole)) << G;
}

TEST(Logger, AnUnwritableLogNeverStopsTheProgram) {
  TTempDir D;
  // A folder where the file should be: every write fails, nothing throws,
  // and the lines wait for the next try.
  ASSERT_EQ(::mkdir(D.File("log.txt").c_str(), 0755), 0);
  std::vector<std::string> Memo;
  {
    TLogger L(D.File("log.txt"));
    L.Fatal("cannot be written");
    L.Err("nor this", true);
    EXPECT_EQ(L.PendingCount(), 2u);
    ::rmdir(D.File("log.txt").c_str());
    L.FlushToFile();
    EXPECT_EQ(L.PendingCount(), 0u);
  }
  EXPECT_EQ(Lines(ReadFile(D.File("log.txt"))).size(), 2u);
}

TEST(Logger, TheBackupStartsAtOneMebibyte) {
  for (int64_t Size : {1048575, 1048576}) {
    TTempDir D;
    WriteFile(D.File("log.txt.bak"), "old backup");
    WriteFile(D.File("log.txt"), std::string(static_cast<size_t>(Size), 'x'));
    { TLogger L(D.File("log.txt")); }
    if (Size < 1048576) {
      EXPECT_EQ(File_SizeOf(D.File("log.txt")), Size);
      EXPECT_EQ(ReadFile(D.File("log.txt.bak")), "old backup");
    } else {
      EXPECT_FALSE(File_Exists(D.File("log.txt")));
      EXPECT_EQ(File_SizeOf(D.File("log.txt.bak")), Size);
    }
  }
}

TEST(Logger, TheShorthandsAreSilentWithoutALogger) {
  SetLogger(nullptr);
  Log::Info("nothing");
  Log::Fatal("nothing");
  TTempDir D;
  TLogger L(D.File("log.txt"));
  SetLogger(&L);
  Log::Err("through the shorthand", true);
  SetLogger(nullptr);
  EXPECT_NE(ReadFile(D.File("log.txt")).find("[Error]: through the shorthand"), std::string::npos);
}
