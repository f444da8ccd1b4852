// An option, or a combination of options, that a command cannot use.
#pragma once

#include <stdexcept>

namespace ds {

// Exit status of a command line or a run option that cannot be used.
inline constexpr int kUsageStatus = 2;

// Its message is the one line that says why; the command exits with kUsageStatus.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace ds
