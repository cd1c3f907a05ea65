#pragma once
// The items of the visual item box and every decision about them that needs
// no display: how a thumbnail fits its panel, where a key moves the current
// item, what the status line says, which items "Biggest" checks, the HTML a
// thumbnail is drawn from, and which files a save writes under which names.
// The box's windows (uVIBJobEdtr) collect their inputs from the widgets and
// call these; the tests call them without a window.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class THtmlElement;

// What an item shows: a picture, or an embedded movie.
enum class TItemKind : uint8_t { Picture, Movie };

// One picture or movie of a page, as the box shows it.
struct TVIBItem {
  TItemKind Kind = TItemKind::Picture;
  std::shared_ptr<THtmlElement> Elem;  // the element it came from
  std::string Url;                     // absolute; what is saved
  int32_t Width = 0;
  int32_t Height = 0;
  // Width x Height; 64 bits, so that no pair of 32-bit sizes overflows it.
  int64_t Area = 0;
  // The byte size the page reported; -1 when it did not know.
  int64_t FileSize = -1;
  std::string SizeText;   // filled when the item is linked to its panel
  uint8_t TypeCode = 5;   // 1 JPG, 2 GIF, 3 PNG, 4 BMP, 5 unknown
  uint8_t SizeClass = 3;  // 1 Large, 2 Medium, 3 Small
  std::string TypeText;   // "JPG", or "?" for unknown
  std::string FileExt;    // with its dot; may be empty
  std::string FileName;   // without extension; the user may edit it
  // Movies of today's pages: the poster picture (absolute; empty when none),
  // a short note for the caption ("HLS stream list"), and whether the
  // address can be saved as a file at all; when not, Reason says why.
  std::string Poster;
  std::string Note;
  bool Saveable = true;
  std::string Reason;
  // The number of the box's panel that shows the item, -1 before it is
  // linked. The view owns the panels; the item only names one.
  int32_t PanelNo = -1;
};

using TVIBItems = std::vector<std::unique_ptr<TVIBItem>>;
using TVIBList = std::vector<TVIBItem *>;

// A thumbnail's size and its place in the 135 x 90 area of a panel.
struct TThumbFit {
  int32_t W = 0, H = 0;              // the picture's drawn size
  int32_t MarginL = 0, MarginT = 0;  // from the area's origin
  // The browser's rectangle in panel coordinates: the picture plus a
  // one-pixel border on each side, never smaller than 1 x 1.
  int32_t BrowserX() const { return MarginL + 9; }
  int32_t BrowserY() const { return MarginT + 7; }
  int32_t BrowserW() const { return W + 2 > 1 ? W + 2 : 1; }
  int32_t BrowserH() const { return H + 2 > 1 ? H + 2 : 1; }
};

// Fits a picture of Width x Height into the thumbnail area. A picture with no
// height is taken as wide. A very thin picture scales to a size below 0 in
// one direction; its browser is then 1 pixel in that direction.
TThumbFit VIB_FitThumb(int32_t Width, int32_t Height);

// The moves of VIBox_Navigate.
enum TNavMove : uint8_t { nmFirst = 0, nmPrev = 1, nmTwoBack = 2, nmNext = 3, nmTwoFwd = 4, nmLast = 5 };
// The position Move leads to from Pos (-1: no current item) in a list of
// Count items; -1 for an empty list.
int32_t VIB_NavTarget(uint8_t Move, int32_t Pos, int32_t Count);

// The first two panels of the status line: " s/n selected" and "index p"
// (p is the current item's position + 1, so 0 with none), or "No files"
// and nothing for an empty list.
std::pair<std::string, std::string> VIB_StatusTexts(int32_t Count, int32_t Selected, int32_t CurPos);

// The item with the greatest area, the first of equals; none when every
// area is 0. An item that cannot be saved is never the biggest.
TVIBItem *VIB_Biggest(const TVIBList &Items);
// The check state "Biggest" gives each item: the biggest and every item of
// the same area, as long as it can be saved. Empty when there is no biggest
// item (nothing changes).
std::vector<bool> VIB_BiggestChecks(const TVIBList &Items, const TVIBItem *Biggest);

// The thumbnail page of a picture, W x H pixels (a size below 0 is drawn as
// 0), from Source (a local file or the picture's address).
std::string VIB_PictureHtml(const std::string &Source, int32_t W, int32_t H);

// The thumbnail page of a movie: the player's object, W x H pixels, playing
// Source (a local file or the movie's address).
std::string VIB_MovieHtml(const std::string &Source, int32_t W, int32_t H);

// One file a save writes.
struct TVIBSaveFile {
  std::string Url;
  std::string Path;
};
// Which checked items a save writes, under which names: the file name of
// each checked item (in display order) loses its forbidden characters (the
// item keeps the cleaned name; one with nothing left but blanks becomes
// "image"), and goes into Folder with its extension;
// ChkFList may then rename paths (an existing file, two equal paths). When
// ChkFList refuses (the user cancelled), throws the "Down file count is 0"
// error and nothing is saved.
std::vector<TVIBSaveFile> VIB_SaveList(const std::string &Folder, const TVIBList &Items, const std::vector<bool> &Checked,
                                       const std::function<bool(std::vector<std::string> &Paths)> &ChkFList);
