#pragma once
// The kinds of what the user is told, shared by every layer that asks for a
// tip or a message box; the windows that show them live in ui/.

// Tip kinds.
inline constexpr int TipWarning = 0, TipError = 1, TipGood = 2;
// Message-box kinds.
inline constexpr int MbWarning = 0, MbError = 1, MbInfo = 2, MbYesNo = 3;
