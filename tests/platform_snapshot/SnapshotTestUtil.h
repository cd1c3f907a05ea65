#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/TPageSnapshot.h"

// The text of the EMossError that F throws; "" when it throws none. Any other
// exception fails the test: a damaged snapshot may only give the program's error.
inline std::string ErrorOf(const std::function<void()> &F) {
  try {
    F();
  } catch (const EMossError &E) {
    return E.what();
  } catch (const std::exception &E) {
    ADD_FAILURE() << "not an EMossError: " << E.what();
    return "?";
  }
  return "";
}

#define EXPECT_SNAP_ERROR(Stmt, Part) \
  EXPECT_NE(ErrorOf([&] { (void)(Stmt); }).find(Part), std::string::npos) << "reading " #Stmt " should name " << (Part)
