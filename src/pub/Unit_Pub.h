#pragma once
// Shared file-name, text and size utilities. Paths use "/" as separator;
// none of these keep state, so the download workers call them too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pub/uFormat.h"
#include "pub/uMossError.h"

// The eleven characters a saved file name may never hold, in this order.
inline constexpr char InvalidFnChars[] = {'\\', '/', ':', '"', '*', '<', '>', '?', '|', '\n', '\r'};

// A file: address, in any letter case.
bool Url_IsFile(const std::string &Url);
// The address without a user name and password ("http://u:p@h/x" ->
// "http://h/x"); anything else unchanged. What the program shows, saves,
// logs, keeps or sends of an address goes through here first.
std::string Url_NoUserInfo(const std::string &Url);

// Appends code point Cp as UTF-8; zero, a surrogate or anything beyond
// U+10FFFF becomes U+FFFD, as browsers read such references.
void Str_AppendUtf8(std::string &Out, uint32_t Cp);
// The text after the last "/"; the whole text when there is none.
std::string Url_FileName(const std::string &Url);
// The file-name part of a path (after the last "/").
std::string Fn_ExtractName(const std::string &Path);
// The file-name part without its extension (cut at the last ".").
std::string Fn_NameNoExt(const std::string &Path);
// The extension of the file-name part, dot included; empty without a dot.
std::string Fn_ExtractExt(const std::string &Path);
// The folder part of a path, up to and including its last "/".
std::string Fn_ExtractDir(const std::string &Path);
// Every forbidden character becomes a blank; nothing else changes.
void Fn_ClrInvalid(std::string &Text);
// The most bytes a name made by the program may have, leaving room within
// the system's limit for a counter ("[12]"), an extension and the picture
// folder's ".files".
inline constexpr size_t FnMaxBytes = 200;
// Name cut to MaxBytes without splitting a UTF-8 character; a short
// extension is kept whole.
std::string Fn_CutName(const std::string &Name, size_t MaxBytes = FnMaxBytes);
// A name any file may safely be given: forbidden and control characters
// become blanks, leading blanks and dots go (no hidden files, no "." or
// ".."), trailing blanks too, and the rest is cut (Fn_CutName). Fallback
// when nothing is left.
std::string Fn_CleanName(const std::string &Name, const std::string &Fallback);
// True when the file-name part holds a forbidden character.
bool Fn_HasInvalid(const std::string &Path);
// Makes Path name no existing file and (when given) no entry of Taken,
// compared without regard to letter case: pic.jpg -> pic[1].jpg -> pic[2].jpg;
// pic[3].jpg -> pic[4].jpg when pic[3] is taken; pic[12].jpg -> pic[12][1].jpg.
// The counter stops at MaxCounter so the search always ends: false then, with
// Path unchanged.
bool Fn_MakeUnique(std::string &Path, const std::vector<std::string> *Taken = nullptr, int32_t MaxCounter = 99999);
// Ensures a trailing "/".
void Dir_AddSlash(std::string &Text);
bool Dir_Exists(const std::string &Path);
bool File_Exists(const std::string &Path);
// Anything by that name, a folder or a dangling link as much as a file.
bool Path_Exists(const std::string &Path);
// Moves Src to Dst only when nothing is at Dst; an existing file is never
// replaced, however close the race. False with errno set (EEXIST when Dst
// was there); Src then stays.
bool File_MoveNew(const std::string &Src, const std::string &Dst);
// Deletes the files (not folders) of Folder matching Mask ("*.html"; empty
// means every file). False when nothing matched; throws EMossError when the
// folder cannot be read.
bool Dir_DelFiles(const std::string &Folder, const std::string &Mask);
// Size in bytes, -1 when the file cannot be opened.
int64_t File_SizeOf(const std::string &Path);
// "1024 B", "1.5 K", "3072.0 M".
std::string Fmt_FileSize(int64_t N);

inline int32_t Int_Min(int32_t A, int32_t B) { return A < B ? A : B; }
inline int32_t Int_Max(int32_t A, int32_t B) { return A > B ? A : B; }

// Text helpers the Parts share.
std::string Trim(const std::string &S);
std::string LowerCase(std::string S);
bool SameText(const std::string &A, const std::string &B);  // ASCII letter case ignored
std::string StringReplaceAll(std::string S, const std::string &From, const std::string &To);
// Percent-decoding of a URL path ("%20" -> " "); malformed escapes stay.
std::string Url_Decode(const std::string &S);
// The folder an environment variable names, without trailing "/"; Default
// when the variable is unset or empty.
std::string EnvFolder(const char *Var, const std::string &Default);
// Creates a folder and its parents; false when it cannot.
bool Dir_Force(const std::string &Path);
