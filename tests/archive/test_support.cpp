#include "test_support.h"

namespace qelvo::archive::testing {

std::unique_ptr<rtl::TMemoryStream> StreamOf(const std::string& bytes) {
  auto s = std::make_unique<rtl::TMemoryStream>();
  if (!bytes.empty()) s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s->SetPosition(0);
  return s;
}

}  // namespace qelvo::archive::testing
