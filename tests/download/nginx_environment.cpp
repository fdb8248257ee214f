// Stops the shared nginx when the test program ends.
#include <gtest/gtest.h>

#include "tests/download/test_servers.h"

namespace {

class NginxEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { qelvo::download::test::NginxServer::Get().Stop(); }
};

[[maybe_unused]] ::testing::Environment* const kNginxEnvironment =
    ::testing::AddGlobalTestEnvironment(new NginxEnvironment);

}  // namespace
