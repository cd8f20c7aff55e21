// List_allocator: a fixed pool of N blocks for objects of type T.
//
// All blocks live in one static array reserved for the life of the process
// and are built before main runs (and in any case before the first use, from
// whichever module asks first). Free blocks sit on an intrusive list: taken
// from the head, returned to the tail, so a released block is handed out
// again only after every block that was free before it.
//
// The lock type guards the free list; Dummy_critical_section does nothing, as
// the process has one thread.
#pragma once

#include <cstddef>

#include "foundation/dual_list.h"

struct Dummy_critical_section {
  void lock() {}
  void unlock() {}
};

template <class T, unsigned N, class Lock>
class List_allocator {
 public:
  static constexpr unsigned capacity = N;

  // A block's storage for one T (not constructed), or null when every block
  // is in use.
  static void* allocate() {
    Pool& p = pool();
    p.lock.lock();
    List_storage* s = p.free.remove_from_head();
    p.lock.unlock();
    return s ? static_cast<void*>(s->object) : nullptr;
  }

  // Returns the block that holds `object` to the tail of the free list.
  // REQUIRES: `object` came from allocate() and was destroyed.
  static void deallocate(T* object) {
    if (!object) return;
    Pool& p = pool();
    const unsigned char* base = p.blocks[0].object;
    const std::size_t index =
        (reinterpret_cast<const unsigned char*>(object) - base) / sizeof(List_storage);
    p.lock.lock();
    p.free.insert_to_tail(&p.blocks[index]);
    p.lock.unlock();
  }

  // Blocks on the free list (N when nothing is in use).
  static unsigned free_count() { return pool().free.count(); }

 private:
  struct List_storage : F_dual_list_item<List_storage> {
    alignas(T) unsigned char object[sizeof(T)];
  };
  struct Pool {
    Pool() : free(blocks, N) {}
    List_storage blocks[N];
    F_dual_list<List_storage> free;
    Lock lock;
  };

  // Built on first use; the construction is guarded so that it happens once.
  static Pool& pool() {
    static Pool p;
    return p;
  }
};
