#pragma once
// The pictures of a page as the picture editor sees them, without a display:
// collecting them from the page snapshot (with the tiny and line filters and
// one item per address), each item's name, extension, type and size class,
// the size and type filters, the counters behind the filter buttons, and the
// two sorts. The editor (uImgJobEdtr) calls these and shows the result.
#include <cstdint>
#include <memory>
#include <string>

#include "editors/uImgChoose.h"
#include "editors/uVIBItem.h"

class THtmlDocument;
class THtmlElement;
class THtmlImgElement;

// Type codes and size classes. WebP, AVIF, SVG and icons are named by their
// own type text and extension but count as unknown, shown under "All".
inline constexpr uint8_t itJpg = 1, itGif = 2, itPng = 3, itBmp = 4, itUnknown = 5;
inline constexpr uint8_t scLarge = 1, scMedium = 2, scSmall = 3;

// Small: the longer side at most 200; Medium: below 640; Large: the rest.
uint8_t Img_SizeClass(int32_t Width, int32_t Height);
// The tiny filter leaves out pictures below 10 x 10; the line filter those
// whose width-to-height ratio is above 20 or below 0.05, and those of no
// height, which have no ratio at all.
bool Img_PassesFilters(int32_t Width, int32_t Height, bool IgnTiny, bool IgnBar);

// A new item for a picture element: address, name and extension from the
// address, then type and size. Throws when the page cannot give the element's
// address, size or byte count (or the byte count is no whole number).
// JobId numbers the log line of a type taken from the MIME type.
std::unique_ptr<TVIBItem> Img_Fill_Item(const std::shared_ptr<THtmlImgElement> &Elem, int JobId);
// The item of the form Choice chose for the element: its address, its size.
// The element's type text and byte count describe its src, so they are used
// only when that is the chosen form; another form takes its type from its
// extension or its <source>, and its byte count is not known.
std::unique_ptr<TVIBItem> Img_Fill_Item(const std::shared_ptr<THtmlImgElement> &Elem, const TImgChoice &Choice, int JobId);
// The item of a CSS background picture; it has no element.
std::unique_ptr<TVIBItem> Img_BackgroundItem(const TImgChoice &Choice, int JobId);
// FileExt (when missing, from the element's type text), TypeCode and TypeText.
void Img_Get_Type(TVIBItem &Item, const THtmlImgElement &Elem, int JobId);
// Width, Height, Area, FileSize and SizeClass.
void Img_Get_Size(TVIBItem &Item, const THtmlImgElement &Elem);

// One-image mode: the item of the picture under the mouse, in the largest
// form it offers when Doc (its document) is given, else its src; throws
// "uImg 01, Can not get current picture!" when that is no picture.
std::unique_ptr<TVIBItem> Img_CollectOne(const std::shared_ptr<THtmlElement> &Elem, int JobId,
                                         const THtmlDocument *Doc = nullptr);
// All-images mode: every picture of the document (not of its frames) in the
// largest form it offers (Img_Choose), then its CSS background pictures,
// that passes the filters, one per address, in page order, appended to Out.
// A failure ends the collection with what was collected so far kept in Out.
void Img_CollectAll(const THtmlDocument &Doc, bool IgnTiny, bool IgnBar, int JobId, TVIBItems &Out);

// The items of All whose size class and type pass (0 lets every one pass).
TVIBList Img_Filter(const TVIBItems &All, uint8_t FltSiz, uint8_t FltTyp);

struct TImgCounts {
  int32_t Large = 0, Medium = 0, Small = 0;
  int32_t Jpg = 0, Gif = 0, Png = 0;  // BMP and unknown pictures have no button
};
TImgCounts Img_Count(const TVIBItems &All);

// A selection sort on the area: biggest first when Des, smallest first
// otherwise; equal areas keep the order they met each other in.
void Img_SortSize(TVIBList &List, bool Des);
// Gathers the pictures type by type from the front: JPG, GIF, PNG, BMP when
// Asc, else unknown, BMP, PNG, GIF; the types not gathered stay behind.
void Img_SortType(TVIBList &List, bool Asc);
