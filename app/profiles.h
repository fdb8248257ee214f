#pragma once
// The eight installation profiles: each is nothing but a fixed list of package steps.
#include <string>
#include <vector>

#include "app/packages.h"

namespace qelvo::app {

struct TProfileStep {
  TPackageStep Step;
  const char* Destination;  // for the steps that take one; "" otherwise or when empty
};

struct TProfile {
  const char* Caption;
  std::vector<TProfileStep> Steps;
};

// Indexed by the radio group's item index, 0 to 7.
const std::vector<TProfile>& Profiles();

}  // namespace qelvo::app
