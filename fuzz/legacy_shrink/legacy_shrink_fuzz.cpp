// Arbitrary bytes as shrink data; see fuzz/legacy_fuzz.h for the input layout.
//   CXX=clang++ CC=clang cmake -S . -B build/fuzz -G Ninja -DQELVO_BUILD_FUZZ=ON
//     -DQELVO_BUILD_TESTS=OFF -DQELVO_WITH_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
//   cmake --build build/fuzz --target fuzz_legacy_shrink
//   build/fuzz/fuzz/legacy_shrink/fuzz_legacy_shrink fuzz/legacy_shrink/corpus
#include "fuzz/legacy_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  return qelvo::fuzz::FuzzLegacy(1, aData, aSize);
}
