#include "tests/support/sample_data.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

namespace qelvo::test {

std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(rng());
  return out;
}

std::string TextBytes(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"the ",   "archive ", "installer ", "stream ", "window ", "bits ",
                                       "qelvo ", "package ", "server ",    "\n",      "data ",   "of ",
                                       "and ",   "Deflate ", "block ",     "length ", "1234 ",   "; "};
  std::mt19937 rng(seed);
  std::string out;
  out.reserve(size + 16);
  while (out.size() < size) out += kWords[rng() % std::size(kWords)];
  out.resize(size);
  return out;
}

std::string RepetitiveBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  const std::string unit = RandomBytes(40000, seed);
  std::string out;
  while (out.size() < size) {
    switch (rng() % 3) {
      case 0:
        out.append(300 + rng() % 2000, static_cast<char>(rng()));
        break;
      case 1:
        out += unit.substr(rng() % 1000, 1000 + rng() % 8000);
        break;
      default:
        out += RandomBytes(50 + rng() % 500, rng());
    }
  }
  out.resize(size);
  return out;
}

void WriteRandomFile(const std::string& path, size_t size, uint32_t seed) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  constexpr size_t kPiece = 1 << 20;
  for (size_t off = 0; off < size; off += kPiece) {
    const std::string piece = RandomBytes(std::min(kPiece, size - off), seed + static_cast<uint32_t>(off / kPiece));
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  }
}

}  // namespace qelvo::test
