#include "jobs/uJobRec.h"

#include "net/uCookieJar.h"
#include "platform/TPageSnapshot.h"

// The destructor needs the complete types of the members' shared objects
// only where they are made; the record itself is plain.
TJobRec::TJobRec() = default;
TJobRec::~TJobRec() = default;

TJobFile &TJobRec::AddFile(const std::string &Url, const std::string &LocalName) {
  FileList.push_back(std::make_unique<TJobFile>(Url, LocalName));
  return *FileList.back();
}

TJobKind KindOfPickCode(uint8_t PickCode) {
  switch (PickCode) {
    case pcSnippet:
      return jkSnippet;
    case pcOneImage:
      return jkOneImage;
    case pcFullPage:
      return jkFullPage;
    case pcAllImages:
      return jkAllImages;
    default:
      return jkFlash;
  }
}

bool IsTextKind(uint8_t Kind) { return Kind < 2; }
bool IsImageKind(uint8_t Kind) { return Kind == jkOneImage || Kind == jkAllImages; }

const char *KindTypeText(uint8_t Kind) {
  if (IsTextKind(Kind)) return "Text";
  if (IsImageKind(Kind)) return "Image";
  return "Flash";
}

const char *MonStateText(uint8_t MonState) {
  switch (MonState) {
    case msQueue:
      return "Job state: Queue";
    case msRunning:
      return "Job state: Running";
    case msEndError:
      return "Job state: End with error";
    case msComplete:
      return "Job state: complete";
    default:
      return "";
  }
}

bool IsUnfinishedState(uint8_t State) { return State != jsError && State != jsWarning && State != jsComplete; }

std::shared_ptr<const TCookieJar> Job_CookieJar(const std::vector<TSnapCookie> &Cookies) {
  if (Cookies.empty()) return nullptr;
  auto Jar = std::make_shared<TCookieJar>();
  for (const TSnapCookie &S : Cookies) {
    TCookie C;
    C.Name = S.Name;
    C.Value = S.Value;
    C.Domain = S.Domain;
    C.Path = S.Path;
    C.HostOnly = S.HostOnly;
    C.Secure = S.Secure;
    C.Expires = S.ExpirationDate;
    Jar->Add(std::move(C));
  }
  return Jar;
}
