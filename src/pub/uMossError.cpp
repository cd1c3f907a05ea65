#include "pub/uMossError.h"

std::string ExceptMsg(const std::exception_ptr &E) {
  try {
    if (E) std::rethrow_exception(E);
  } catch (const std::exception &X) {
    return X.what();
  } catch (...) {
    return "Unknown exception";
  }
  return {};
}
