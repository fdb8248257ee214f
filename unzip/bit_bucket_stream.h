#pragma once
// The discarding test stream lives with the codecs, whose archive types test into it too.
#include "codecs/bit_bucket_stream.h"

namespace qelvo::unzip {
using codecs::TArcBitBucketStream;
}  // namespace qelvo::unzip
