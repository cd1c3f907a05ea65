#include <gtest/gtest.h>

#include "jobs/uJobRec.h"
#include "pub/Unit_Pub.h"
#include "ui/uJobDtlText.h"

TEST(JobDtlText, AnEndedJobListsItsFilesByStatus) {
  TJobRec J;
  J.JobId = 7;
  J.Title = "Mosses";
  J.StartTime = EncodeDate(2026, 12, 8) + EncodeTime(9, 5, 3);
  J.MonState = msEndError;
  J.AddFile("http://a.test/1.jpg", "/s/1.jpg").Status = fsSaved;
  J.AddFile("http://a.test/2.jpg", "/s/2.jpg").Status = fsFailed;
  J.AddFile("http://a.test/3.jpg", "/s/3.jpg");  // never tried
  J.SavedCnt = 1;
  J.TotalCnt = 3;
  EXPECT_EQ(JobDtlText(J, J.StartTime + 1),
            "JobID: 7\nTitle: Mosses\nSave time: 09:05:03\n\nJob state: End with error\n"
            "Saved file count: 1\nTotal file count: 3\n\n"
            "UnSaved file list: \n From: http://a.test/2.jpg\n   To: /s/2.jpg\n From: http://a.test/3.jpg\n   To: /s/3.jpg\n\n"
            "Saved file list: \n From: http://a.test/1.jpg\n   To: /s/1.jpg");
}

TEST(JobDtlText, RunningShowsTimesAndTheFileBeingSaved) {
  TJobRec J;
  J.JobId = 2;
  J.StartTime = EncodeDate(2026, 12, 8) + EncodeTime(10, 0, 0);
  J.MonState = msRunning;
  J.AddFile("http://a.test/x", "/s/x").Status = fsSaving;
  J.TotalCnt = 1;
  // No downloader at work: no "Http Action" block.
  EXPECT_EQ(JobDtlText(J, J.StartTime + EncodeTime(0, 1, 30)),
            "JobID: 2\nTitle: \nSave time: 10:00:00\n\nJob state: Running\n"
            "Time Started: 2026-12-08 10:00:00\nTime Elapsed: 00:01:30\n\n"
            "Saving url : http://a.test/x\nSaving file: /s/x\n\n"
            "Saved file count: 0\nTotal file count: 1\n\n"
            "UnSaved file list: \n From: http://a.test/x\n   To: /s/x\n\nSaved file list: ");
}

TEST(JobDtlText, AllSavedOnlyWhenSomethingWasSavedAndDeletedShowsNoState) {
  TJobRec J;
  J.MonState = msComplete;
  for (int I = 0; I < 3; ++I) J.AddFile("u", "l").Status = fsSaved;
  J.SavedCnt = 3;
  J.TotalCnt = 3;
  EXPECT_NE(JobDtlText(J, 0).find("\nAll files saved!\n"), std::string::npos);
  TJobRec Empty;
  Empty.MonState = msDeleted;
  std::string T = JobDtlText(Empty, 0);
  EXPECT_EQ(T.find("Job state"), std::string::npos);
  EXPECT_NE(T.find("\nUnSaved file list: \n\nSaved file list: "), std::string::npos);
}

TEST(UrlList, ThePagesTextStandsAsItsUrlAndTheNameGetsTxtWithoutAPoint) {
  TJobRec J;
  J.PageUrl = "http://news.test/a";
  J.AddFile(WebpageContents, "/s/a.html");
  J.AddFile("http://pics.test/1.jpg", "/s/a.html.files/1.jpg");
  EXPECT_EQ(JobUrlList(J), (std::vector<std::string>{"http://news.test/a", "http://pics.test/1.jpg"}));
  EXPECT_EQ(UrlListFileName("/home/u/list"), "/home/u/list.txt");
  EXPECT_EQ(UrlListFileName("/home/u/list.csv"), "/home/u/list.csv");
  EXPECT_EQ(UrlListFileName("/home/u.name/list"), "/home/u.name/list");
  EXPECT_STREQ(JobTypeText(jkSnippet), "Text");
  EXPECT_STREQ(JobTypeText(jkAllImages), "Image");
  EXPECT_STREQ(JobTypeText(jkFlash), "Flash");
  EXPECT_STREQ(JobTypeText(9), "unKnown");
}
