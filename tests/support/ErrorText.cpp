#include "tests/support/ErrorText.h"

#include "foundation/Exception.h"

namespace pellmor::test {

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

}  // namespace pellmor::test
