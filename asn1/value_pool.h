// Free lists of small blocks for the ASN.1 value objects and the records'
// field arrays.
//
// Decoding a message builds one heap object per value node and frees them
// all when the message goes; taken from malloc, that churn was most of the
// decoding time. Here a freed block is kept on the free list of its size
// class (multiples of kPoolGrain bytes up to kPoolMaxSize) and handed out
// again by the next allocation of that class. Larger sizes go straight to
// the global operator new.
//
// Bounds: a class keeps at most kPoolCacheBytes of free blocks; beyond that
// a freed block goes back to the global operator delete. So the lists hold
// no more than what was once in use at the same time, and never more than
// kPoolCacheBytes per class.
//
// Not thread-safe: the free lists are plain globals, for the process's one
// loop thread (values must not be created or destroyed on other threads).
//
// Under AddressSanitizer nothing is pooled: every block comes from and goes
// back to the global operator new and delete, so the sanitizer still sees
// each value's allocation and release (use after free, double free, leaks).
#ifndef ASN1_VALUE_POOL_H
#define ASN1_VALUE_POOL_H

#include <cstddef>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define ASN1_POOL_DISABLED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ASN1_POOL_DISABLED 1
#endif
#endif

namespace ASN1 {
namespace detail {

const std::size_t kPoolGrain = 8;           // size class step; holds a link
const std::size_t kPoolMaxSize = 512;       // larger blocks are not pooled
const std::size_t kPoolCacheBytes = 32768;  // free bytes kept per class

struct PoolBlock {
  PoolBlock* next;
};
struct PoolClass {
  PoolBlock* head;
  std::size_t cachedBytes;
};

// Index i holds blocks of i * kPoolGrain bytes; zero-initialised, so usable
// during static initialisation and destruction.
extern PoolClass poolClasses[kPoolMaxSize / kPoolGrain + 1];

// The number of blocks on each class's list (tests and diagnostics).
std::size_t poolCachedBlocks(std::size_t size);

#ifdef ASN1_POOL_DISABLED
const bool kPoolEnabled = false;
#else
const bool kPoolEnabled = true;
#endif

// A block of at least size bytes, aligned as the global operator new aligns.
// Throws std::bad_alloc as operator new does.
inline void* poolAllocate(std::size_t size) {
  if (!kPoolEnabled || size == 0 || size > kPoolMaxSize) return ::operator new(size);
  const std::size_t index = (size + kPoolGrain - 1) / kPoolGrain;
  const std::size_t bytes = index * kPoolGrain;
  PoolClass& c = poolClasses[index];
  PoolBlock* b = c.head;
  if (b == nullptr) return ::operator new(bytes);
  c.head = b->next;
  c.cachedBytes -= bytes;
  return b;
}

// REQUIRES: p is null or came from poolAllocate with the same size.
inline void poolDeallocate(void* p, std::size_t size) noexcept {
  if (p == nullptr) return;
  if (!kPoolEnabled || size == 0 || size > kPoolMaxSize) {
    ::operator delete(p);
    return;
  }
  const std::size_t index = (size + kPoolGrain - 1) / kPoolGrain;
  const std::size_t bytes = index * kPoolGrain;
  PoolClass& c = poolClasses[index];
  if (c.cachedBytes + bytes > kPoolCacheBytes) {
    ::operator delete(p);
    return;
  }
  PoolBlock* b = static_cast<PoolBlock*>(p);
  b->next = c.head;
  c.head = b;
  c.cachedBytes += bytes;
}

}  // namespace detail
}  // namespace ASN1

#endif
