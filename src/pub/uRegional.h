#pragma once
// Regional formats. The program shows and stores dates in one short date
// format and times in one long time format, whatever the desktop's locale,
// so that cfg.ini and log.txt read the same on every machine.
#include <string>

// Days since 30 December 1899, time of day as the fraction.
using TDateTime = double;

inline constexpr const char *ShortDateFormat = "yyyy-MM-dd";
inline constexpr const char *LongTimeFormat = "HH:mm:ss";
inline constexpr char DecimalSeparator = '.';

TDateTime Now();   // local date and time
TDateTime Date();  // local date, no time part

std::string DateToStr(TDateTime D);      // "2026-12-08"
std::string TimeToStr(TDateTime D);      // "14:03:21"
std::string DateTimeToStr(TDateTime D);  // "2026-12-08 14:03:21"

// Strict reading of the short date format; throws EMossError with the
// message "'<text>' is not a valid date" when the text is not one.
TDateTime StrToDate(const std::string &S);
bool TryStrToDate(const std::string &S, TDateTime &Out);

// Calendar helpers for the conversions above.
TDateTime EncodeDate(int Year, int Month, int Day);
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec = 0);
void DecodeDate(TDateTime D, int &Year, int &Month, int &Day);
void DecodeTime(TDateTime D, int &Hour, int &Min, int &Sec, int &MSec);
