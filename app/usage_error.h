// An option, or a combination of options, that a command cannot use.
#pragma once

#include <stdexcept>

namespace ds {

// Its message is the one line that says why; the command exits with kUsageStatus.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace ds
