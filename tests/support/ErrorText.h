// The message of the error an action raises, for tests that hold errors
// against their exact texts.
#pragma once

#include <functional>
#include <string>

namespace pellmor::test {

// Runs action; returns the message of the pellmor::Exception it raised, or
// "" when it raised none (other exceptions pass through).
std::string ErrorOf(const std::function<void()>& action);

}  // namespace pellmor::test
