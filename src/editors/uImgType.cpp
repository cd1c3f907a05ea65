#include "editors/uImgType.h"

#include <array>

#include "platform/uUrlRef.h"

namespace {

std::string LowerAscii(std::string_view S) {
  std::string R(S);
  for (char &C : R)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C + 32);
  return R;
}

std::string_view Trimmed(std::string_view S) {
  while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
  while (!S.empty() && (S.back() == ' ' || S.back() == '\t')) S.remove_suffix(1);
  return S;
}

struct TTypeRow {
  const char *Type;  // the usual extension
  const char *Mime;  // the MIME type servers send
  const char *Word;  // the first word of the browser's type text, lowered
};

// The four old types first: their rows give the type codes 1 to 4.
constexpr std::array<TTypeRow, 8> Types = {{{"jpg", "image/jpeg", "jpeg"},
                                            {"gif", "image/gif", "gif"},
                                            {"png", "image/png", "png"},
                                            {"bmp", "image/bmp", "bmp"},
                                            {"webp", "image/webp", "webp"},
                                            {"avif", "image/avif", "avif"},
                                            {"svg", "image/svg+xml", "svg"},
                                            {"ico", "image/x-icon", "icon"}}};

// Other spellings servers use for the same types.
constexpr std::array<std::pair<const char *, const char *>, 7> MimeAliases = {{{"image/pjpeg", "jpg"},
                                                                               {"image/jpg", "jpg"},
                                                                               {"image/x-png", "png"},
                                                                               {"image/x-bmp", "bmp"},
                                                                               {"image/x-ms-bmp", "bmp"},
                                                                               {"image/vnd.microsoft.icon", "ico"},
                                                                               {"image/ico", "ico"}}};

}  // namespace

std::string Img_TypeOfExt(std::string_view Ext) {
  if (!Ext.empty() && Ext.front() == '.') Ext.remove_prefix(1);
  const std::string E = LowerAscii(Ext);
  for (const TTypeRow &R : Types)
    if (E == R.Type) return R.Type;
  return {};
}

std::string Img_TypeOfText(std::string_view Text) {
  const std::string T = LowerAscii(Trimmed(Text.substr(0, Text.find(';'))));
  if (T.find('/') != std::string::npos) {
    for (const TTypeRow &R : Types)
      if (T == R.Mime) return R.Type;
    for (const auto &[Mime, Type] : MimeAliases)
      if (T == Mime) return Type;
    return {};
  }
  // The old texts by their first three letters, as they were always read.
  std::string P = T.substr(0, 3);
  if (P == "jpe") P = "jpg";
  if (P == "jpg" || P == "gif" || P == "bmp" || P == "png") return P;
  const std::string Word = T.substr(0, T.find(' '));
  for (size_t I = 4; I < Types.size(); ++I)
    if (Word == Types[I].Word) return Types[I].Type;
  return {};
}

uint8_t Img_TypeCode(std::string_view Type) {
  for (size_t I = 0; I < 4; ++I)
    if (Type == Types[I].Type) return static_cast<uint8_t>(I + 1);
  return itOtherCode;
}

std::string Img_TypeText(std::string_view Type) {
  if (Type.empty()) return "?";
  std::string R(Type);
  for (char &C : R)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 32);
  return R;
}

bool Img_UrlNamesPicture(const std::string &Url) {
  const std::string Path = Url_Split(Url).Path;
  const size_t Slash = Path.rfind('/');
  const std::string_view Name = std::string_view(Path).substr(Slash == std::string::npos ? 0 : Slash + 1);
  const size_t Dot = Name.rfind('.');
  if (Dot == std::string_view::npos) return false;
  const std::string Ext = LowerAscii(Name.substr(Dot + 1));
  return Ext == "jpeg" || Ext == "jpe" || !Img_TypeOfExt(Ext).empty();
}

std::string Img_NameForType(const std::string &Name, std::string_view Type) {
  if (Type.empty()) return Name;
  const size_t Dot = Name.rfind('.');
  if (Dot != std::string::npos && Dot > 0 && Dot + 1 < Name.size()) return Name;
  return Name + "." + std::string(Type);
}
