#pragma once
// What a text job saves, decided without a display: the page text under the
// target name and, for HTML with pictures, each picture into a ".files"
// folder beside it, with the saved text's picture links pointing there.
// The text editor collects the inputs from its widgets and hands the result
// to the job; the tests call it on page snapshots.
#include <functional>
#include <string>
#include <utility>
#include <vector>

class THtmlDocument;

struct TTxtSaveInput {
  const THtmlDocument *Doc = nullptr;  // the page's snapshot: its pictures
  std::string PageUrl;
  std::string FinalText;  // the text as the preview shows it
  std::string Dest;       // the text file's full name, already checked
  bool PlainText = true;
  bool Snippet = false;
  bool SaveImg = true;
  // Whether the picture folder may be used (made when missing).
  std::function<bool(const std::string &Folder)> CheckDir;
  // The pictures' local names, which the check may change; false cancels.
  std::function<bool(std::vector<std::string> &LocalPaths)> CheckFiles;
};

struct TTxtSavePlan {
  // (address, local name): the text first, as WebpageContents.
  std::vector<std::pair<std::string, std::string>> Files;
  std::vector<std::string> TextLines;
  std::string AttachDir;     // the picture folder, empty without pictures
  bool LinksFailed = false;  // the picture links could not be rewritten: text only
};

// Throws EMossError (with the texts the user is shown) when there is no
// text, the picture folder cannot be made or the user cancels the check.
TTxtSavePlan Txt_PlanSave(const TTxtSaveInput &In);

// Lines as the saved file gets them back: split at line feeds, so a
// carriage return stays where the page had it.
std::vector<std::string> Txt_ToLines(const std::string &Text);
