#pragma once
// The movies of a page as the movie editor sees them, without a display:
// the plug-in movies of OBJECT and EMBED elements, then the VIDEO and AUDIO
// elements of today's pages, one item per movie; their names, sizes and
// notes; the biggest-first sort and the order the "Size" button asks for.
// The editor (uFlsJobEdtr) calls these and shows the result.
#include <cstdint>
#include <string>
#include <unordered_set>

#include "editors/uVIBItem.h"

class THtmlDocument;
class THtmlElementCollection;
class THtmlMediaElement;

// The movies already taken, letter case ignored: the movie texts as the
// page wrote them (one OBJECT with an EMBED inside gives one movie), and the
// absolute addresses (a VIDEO that plays a movie already taken adds none).
struct TFlsSeen {
  std::unordered_set<std::string> Texts;
  std::unordered_set<std::string> Urls;
};

// The declared width and height as whole numbers; both 0 when either is
// not one ("100%", "", "12.5").
void Fls_DeclaredSize(const std::string &W, const std::string &H, int32_t &OutW, int32_t &OutH);

// FileName and FileExt from the last piece of Url: the extension runs from
// the last dot, so a query after it stays in it ("intro.swf?v=2").
void Fls_Name_Plugin(TVIBItem &Item);
// FileName and FileExt of a VIDEO or AUDIO address: the last path segment
// without query or fragment, decoded, made a safe name.
void Fls_Name_Media(TVIBItem &Item);

// Whether the address can be saved as a file; when not, Saveable is cleared
// and Reason and Note say why. Streams the page builds itself (blob: and
// media-source addresses) have no file behind them. A stream list (.m3u8,
// .mpd) is a file and is noted as what it is.
void Fls_Classify(TVIBItem &Item);

// Tests the element at Index of a collection of OBJECT or EMBED elements and
// appends a movie item when it hosts a movie not seen yet. An element that
// hosts no player, or whose movie cannot be read or is empty, is skipped; a
// size that cannot be read gives 0 x 0. Throws when the page cannot give the
// element at all or resolve its address.
void Fls_Add_Elem(const THtmlDocument &Doc, const THtmlElementCollection &List, int32_t Index, TFlsSeen &Seen, TVIBItems &Out);
// Appends the movies of one VIDEO or AUDIO element: its own source, else
// each <source> child; AUDIO is 0 x 0. TypeText is "VIDEO" or "AUDIO", the
// note the file's format ("WEBM") when there is nothing else to note.
void Fls_Add_Media(const THtmlMediaElement &Elem, TFlsSeen &Seen, TVIBItems &Out);

// Every movie of the document, in three passes: OBJECT, EMBED, then VIDEO
// and AUDIO. A VIDEO or AUDIO entry that cannot be read is skipped with a
// warning for job JobId; any other failure of the page ends the collection
// with what was collected so far kept in Out.
void Fls_Collect(const THtmlDocument &Doc, int JobId, TVIBItems &Out);

// Biggest first by exchange: for each position, the first item of strictly
// greatest area among the rest is swapped into it, so equal areas may trade
// places (areas 5, 5, 9 as A, B, C give C, B, A).
void Fls_SortBiggestFirst(TVIBList &List);
// Puts a biggest-first list in the order Des asks for by reversing it when
// its ends disagree; a list whose ends have equal areas is left alone.
void Fls_Order(TVIBList &List, bool Des);
// The text beside the "Size" button.
const char *Fls_SortIndicator(bool Des);
