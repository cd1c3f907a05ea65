#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <thread>

#include "control/TReqChannel.h"
#include "control/Unit_IPicker.h"
#include "platform/TChannelClient.h"
#include "platform/TRuntimeDir.h"
#include "platform/TUrlCache.h"
#include "support/JobTestHost.h"
#include "support/TQtSupport.h"

namespace {

struct PickerFixture : JobFixture {
  TReqChannel Chan;
  std::string Path;
  void SetUp() override {
    JobFixture::SetUp();
    ::setenv("XDG_RUNTIME_DIR", Dir.Path().c_str(), 1);
    Path = ChannelPath("Mossgather test");
    TPicker::Install(Chan);
    Chan.Listen(Path);
    JobCtrl = Ctrl.get();
  }
  void TearDown() override {
    JobCtrl = nullptr;
    Chan.Close();
    ::unsetenv("XDG_RUNTIME_DIR");
    JobFixture::TearDown();
  }
  static std::string Message(const char *Method, const TSnapshotBuilder &Page) {
    return std::string("{\"method\":\"") + Method + "\",\"snapshot\":" + Page.Json() + "}";
  }
  // Sends from another thread while this one serves the channel.
  std::string Ask(const std::string &Json) {
    std::atomic<bool> Done{false};
    std::string Reply;
    std::thread T([&] {
      Channel_Request(Path, Json, Reply, 10000);
      Done = true;
    });
    Spin([&] { return Done.load(); });
    T.join();
    return Reply;
  }
};

}  // namespace

TEST_F(PickerFixture, EachMethodMakesAJobOfItsRequestCode) {
  struct {
    const char *Method;
    uint8_t Code;
  } Cases[] = {{"SaveFlash", pcFlash},
               {"SaveOneImg", pcOneImage},
               {"SaveSnippet", pcSnippet},
               {"SaveFullPage", pcFullPage},
               {"SaveImages", pcAllImages}};
  for (const auto &C : Cases) {
    EXPECT_EQ(Ask(Message(C.Method, TSnapshotBuilder().Title(C.Method))), R"({"status":0})") << C.Method;
    ASSERT_FALSE(Ctrl->JobList().empty());
    EXPECT_EQ(Ctrl->JobList().back()->PickCode, C.Code) << C.Method;
  }
  EXPECT_EQ(Ctrl->JobList().size(), 5u);
}

TEST_F(PickerFixture, ThePictureRequestCarriesItsElementOrNone) {
  TSnapshotBuilder Page;
  Page.Image({.Src = "http://h.test/a.jpg"}).Image({.Src = "http://h.test/b.jpg"});
  EXPECT_EQ(Ask(Message("SaveOneImg", TSnapshotBuilder(Page).ElementIndex(1))), R"({"status":0})");
  auto Img = std::dynamic_pointer_cast<THtmlImgElement>(Ctrl->JobList().back()->Elem);
  ASSERT_TRUE(Img);
  EXPECT_EQ(Img->Src(), "http://h.test/b.jpg");
  // Without an element the job is made without one.
  EXPECT_EQ(Ask(Message("SaveOneImg", Page)), R"({"status":0})");
  EXPECT_EQ(Ctrl->JobList().back()->Elem, nullptr);
}

TEST_F(PickerFixture, ARefusedRequestStillSucceedsForTheBrowser) {
  InitFailed = true;
  EXPECT_EQ(Ask(Message("SaveSnippet", TSnapshotBuilder())), R"({"status":0})");
  InitFailed = false;
  ASSERT_EQ(Host.Tips.size(), 1u);
  EXPECT_EQ(Host.Tips[0].Msg, "Program has failed in initialization, please check your system and rerun!");
  EXPECT_TRUE(Ctrl->JobList().empty());
}

TEST_F(PickerFixture, RequestsBeforeTheControllerExistsFail) {
  JobCtrl = nullptr;
  std::string R = Ask(Message("SaveSnippet", TSnapshotBuilder()));
  EXPECT_NE(R.find("\"status\":1"), std::string::npos);
  EXPECT_NE(R.find("has not finished starting"), std::string::npos);
}

TEST_F(PickerFixture, BadRequestsFailWithOneErrorLine) {
  const std::string Bad[] = {R"({"method":"SaveSnippet"})", R"({"method":"SaveSnippet","snapshot":7})",
                             R"({"method":"SaveSnippet","snapshot":{"version":2}})", R"({"method":"SaveSnippet","snapshot":[]})"};
  for (const auto &B : Bad) EXPECT_NE(Ask(B).find("\"status\":1"), std::string::npos) << B;
  EXPECT_TRUE(Ctrl->JobList().empty());
  std::string L = LogText();
  size_t N = 0;
  for (size_t P = 0; (P = L.find("Bad channel request", P)) != std::string::npos; ++P) ++N;
  EXPECT_EQ(N, std::size(Bad));
}

TEST_F(PickerFixture, PicturesTheBrowserHeldGoIntoTheUrlCache) {
  std::string Url = "http://h.test/held.png";
  const std::string Png = std::string("\x89PNG\r\n\x1A\n", 8) + "PNG bytes";
  TUrlCache::Default().Delete(Url);
  EXPECT_EQ(Ask(Message("SaveImages", TSnapshotBuilder().Image({.Src = Url}).Cached(Url, Png))), R"({"status":0})");
  std::string Local = TUrlCache::Default().LocalFile(Url);
  ASSERT_FALSE(Local.empty());
  EXPECT_EQ(ReadFile(Local), Png);
  TUrlCache::Default().Delete(Url);
}

TEST_F(PickerFixture, AFloodOfRequestsLosesNoReply) {
  std::atomic<int> Good{0}, Finished{0};
  std::string Msg = Message("SaveFullPage", TSnapshotBuilder());
  std::vector<std::thread> Ts;
  for (int T = 0; T < 4; ++T)
    Ts.emplace_back([&] {
      for (int I = 0; I < 250; ++I) {
        std::string Reply;
        if (Channel_Request(Path, Msg, Reply, 10000) && Reply == R"({"status":0})") ++Good;
      }
      ++Finished;
    });
  Spin([&] { return Finished == 4; }, 60000);
  for (auto &T : Ts) T.join();
  EXPECT_EQ(Good, 1000);
  // Each request became a job, or was refused because the edit timer had
  // meanwhile opened the newest one in the editor.
  size_t Refused = 0;
  for (const auto &T : Host.Tips) Refused += T.Msg == "You are editing a job, please complete it first";
  EXPECT_EQ(Ctrl->JobList().size() + Refused, 1000u);
  EXPECT_EQ(GParm.iTot_Job_Cnt, 1000);
}

int main(int argc, char **argv) { return RunTestsWithEventLoop(argc, argv, false); }
