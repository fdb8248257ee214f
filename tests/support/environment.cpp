#include "tests/support/environment.h"

#include <cstdlib>
#include <utility>

namespace qelvo::test {

ScopedEnvironment::ScopedEnvironment(std::string name, const std::string& value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) saved_ = old;
  Set(value);
}

ScopedEnvironment::~ScopedEnvironment() { SetEnvironment(name_, saved_); }

void ScopedEnvironment::Set(const std::string& value) { SetEnvironment(name_, value); }

}  // namespace qelvo::test
