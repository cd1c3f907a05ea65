#pragma once
// The settings record's INI file, cfg.ini beside the program: every key
// read into the record at start, every key written from it at exit.
#include <cstdint>
#include <string>

#include "pub/uGlobalParm.h"

class TIniFile;

// The values taken from the live windows when the settings are written.
struct TLiveLayout {
  int32_t MFrm_L = 0, MFrm_T = 0, MFrm_W = 0, MFrm_H = 0;
  int32_t JMon_H = 0;
};

// Reads every key into P (missing keys and non-numbers give the defaults).
// A "dChkDate" that is not a date reads as today, and BadDate receives the
// text that was there so the caller can log it.
void LoadGParm(const TIniFile &Ini, TGlobalParm &P, std::string *BadDate = nullptr);
// Forgets the file's old content, writes every key in its fixed order, and
// saves it atomically. Throws EMossError when the file cannot be written.
void SaveGParm(TIniFile &Ini, const TGlobalParm &P, const TLiveLayout &Live);
