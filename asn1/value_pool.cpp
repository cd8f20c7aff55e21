#include "asn1/value_pool.h"

namespace ASN1 {
namespace detail {

PoolClass poolClasses[kPoolMaxSize / kPoolGrain + 1];

std::size_t poolCachedBlocks(std::size_t size) {
  if (size == 0 || size > kPoolMaxSize) return 0;
  const std::size_t index = (size + kPoolGrain - 1) / kPoolGrain;
  return poolClasses[index].cachedBytes / (index * kPoolGrain);
}

}  // namespace detail
}  // namespace ASN1
