#pragma once
// Shared file-name, text and size utilities. Paths use "/" as separator;
// none of these keep state, so the download workers call them too.
#include <cstdint>
#include <string>
#include <vector>

#include "pub/uFormat.h"
#include "pub/uMossError.h"

// The eleven characters a saved file name may never hold, in this order.
inline constexpr char InvalidFnChars[] = {'\\', '/', ':', '"', '*', '<', '>', '?', '|', '\n', '\r'};

// The local file of a URL: a "file:///" URL's path (percent escapes decoded),
// or the URL cache's copy; empty when there is none.
std::string Url_LocalFile(const std::string &Url);
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
