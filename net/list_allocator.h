// List_allocator: a fixed pool of N blocks for objects of type T.
//
// All blocks live in one static array reserved for the life of the process.
// Free blocks sit on a list: taken from the head, returned to the tail, so a
// released block is handed out again only after every block that was free
// before it. The list is built before main runs (and in any case before the
// first use, from whichever module asks first), in block order.
//
// Memory: the list's links are not in the blocks but in one small record per
// block, kept apart, so building the pool writes nothing into the array. The
// array is zero-filled static storage that the system maps only as it is
// written: a block costs no resident memory until it is first handed out,
// and then only the pages its object touches. Each block begins on a page
// boundary and spans whole pages, so the first bytes of a T (and whatever
// the T keeps just behind them) share one page in every block.
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
  // Where each block begins: the page size of the board and of the host. On
  // a system with larger pages the pool still works; a block may then share
  // a page with its neighbours.
  static constexpr std::size_t block_alignment = 4096;

  // A block's storage for one T (not constructed), or null when every block
  // is in use.
  static void* allocate() {
    Pool& p = pool();
    p.lock.lock();
    List_storage* s = p.free.remove_from_head();
    p.lock.unlock();
    return s ? static_cast<void*>(blocks()[s - p.links].object) : nullptr;
  }

  // Returns the block that holds `object` to the tail of the free list.
  // REQUIRES: `object` came from allocate() and was destroyed.
  static void deallocate(T* object) {
    if (!object) return;
    Pool& p = pool();
    const unsigned char* base = blocks()[0].object;
    const std::size_t index =
        static_cast<std::size_t>(reinterpret_cast<const unsigned char*>(object) - base) /
        sizeof(Block);
    p.lock.lock();
    p.free.insert_to_tail(&p.links[index]);
    p.lock.unlock();
  }

  // Blocks on the free list (N when nothing is in use).
  static unsigned free_count() { return pool().free.count(); }

 private:
  // The free-list record of the block with the same index.
  struct List_storage : F_dual_list_item<List_storage> {};

  struct alignas(block_alignment) Block {
    alignas(T) unsigned char object[sizeof(T)];
  };
  static_assert(sizeof(Block) % block_alignment == 0, "a block spans whole pages");

  struct Pool {
    Pool() : free(links, N) {}
    List_storage links[N];
    F_dual_list<List_storage> free;
    Lock lock;
  };

  // Built on first use; the construction is guarded so that it happens once.
  static Pool& pool() {
    static Pool p;
    return p;
  }

  // Trivial and never constructed: zero-filled static storage that no code
  // writes before a block is handed out.
  static Block* blocks() {
    static Block storage[N];
    return storage;
  }
};
