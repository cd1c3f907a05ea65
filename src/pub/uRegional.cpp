#include "pub/uRegional.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "pub/uMossError.h"

namespace {

// Days from 1970-01-01 for a proleptic Gregorian date (Howard Hinnant's algorithm).
long long DaysFromCivil(long long Y, unsigned M, unsigned D) {
  Y -= M <= 2;
  const long long Era = (Y >= 0 ? Y : Y - 399) / 400;
  const unsigned Yoe = static_cast<unsigned>(Y - Era * 400);
  const unsigned Doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
  const unsigned Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
  return Era * 146097 + static_cast<long long>(Doe) - 719468;
}

void CivilFromDays(long long Z, int &Y, int &M, int &D) {
  Z += 719468;
  const long long Era = (Z >= 0 ? Z : Z - 146096) / 146097;
  const unsigned Doe = static_cast<unsigned>(Z - Era * 146097);
  const unsigned Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
  const long long Yr = static_cast<long long>(Yoe) + Era * 400;
  const unsigned Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
  const unsigned Mp = (5 * Doy + 2) / 153;
  D = static_cast<int>(Doy - (153 * Mp + 2) / 5 + 1);
  M = static_cast<int>(Mp < 10 ? Mp + 3 : Mp - 9);
  Y = static_cast<int>(Yr + (M <= 2));
}

// 1899-12-30 is day 0; 1970-01-01 is day 25569.
constexpr long long OleEpochOffset = 25569;

}  // namespace

TDateTime EncodeDate(int Year, int Month, int Day) {
  return static_cast<double>(DaysFromCivil(Year, static_cast<unsigned>(Month), static_cast<unsigned>(Day)) + OleEpochOffset);
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
  return (((Hour * 60.0 + Min) * 60.0 + Sec) * 1000.0 + MSec) / 86400000.0;
}

void DecodeDate(TDateTime D, int &Year, int &Month, int &Day) {
  CivilFromDays(static_cast<long long>(std::floor(D)) - OleEpochOffset, Year, Month, Day);
}

void DecodeTime(TDateTime D, int &Hour, int &Min, int &Sec, int &MSec) {
  double Frac = D - std::floor(D);
  long long Ms = std::llround(Frac * 86400000.0);
  if (Ms >= 86400000) Ms = 86399999;
  Hour = static_cast<int>(Ms / 3600000);
  Min = static_cast<int>(Ms / 60000 % 60);
  Sec = static_cast<int>(Ms / 1000 % 60);
  MSec = static_cast<int>(Ms % 1000);
}

TDateTime Now() {
  auto Tp = std::chrono::system_clock::now();
  std::time_t T = std::chrono::system_clock::to_time_t(Tp);
  std::tm Lt{};
  localtime_r(&T, &Lt);
  int Ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Tp.time_since_epoch()).count() % 1000);
  return EncodeDate(Lt.tm_year + 1900, Lt.tm_mon + 1, Lt.tm_mday) + EncodeTime(Lt.tm_hour, Lt.tm_min, Lt.tm_sec, Ms);
}

TDateTime Date() { return std::floor(Now()); }

std::string DateToStr(TDateTime D) {
  int Y, M, Dd;
  DecodeDate(D, Y, M, Dd);
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02d", Y, M, Dd);
  return Buf;
}

std::string TimeToStr(TDateTime D) {
  int H, Mi, S, Ms;
  DecodeTime(D, H, Mi, S, Ms);
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, "%02d:%02d:%02d", H, Mi, S);
  return Buf;
}

std::string DateTimeToStr(TDateTime D) { return DateToStr(D) + " " + TimeToStr(D); }

bool TryStrToDate(const std::string &S, TDateTime &Out) {
  // Exactly yyyy-MM-dd, each field in range; the day must exist in its month.
  if (S.size() != 10 || S[4] != '-' || S[7] != '-') return false;
  for (size_t I : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u})
    if (S[I] < '0' || S[I] > '9') return false;
  int Y = std::stoi(S.substr(0, 4)), M = std::stoi(S.substr(5, 2)), D = std::stoi(S.substr(8, 2));
  if (M < 1 || M > 12 || D < 1 || D > 31) return false;
  int Y2, M2, D2;
  TDateTime V = EncodeDate(Y, M, D);
  DecodeDate(V, Y2, M2, D2);
  if (Y2 != Y || M2 != M || D2 != D) return false;
  Out = V;
  return true;
}

TDateTime StrToDate(const std::string &S) {
  TDateTime V = 0;
  if (!TryStrToDate(S, V)) throw EMossError("'" + S + "' is not a valid date");
  return V;
}
