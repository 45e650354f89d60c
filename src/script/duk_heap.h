// One Duktape heap with the limits that make it safe to run text that came
// from the network: a deadline per call, a memory cap and a native stack
// check. Internal to the script subsystem; the rest of the system reaches the
// engine only through the Script Control object.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "duktape.h"

namespace vyrelo::script::detail {

// An allocator that refuses to grow past a fixed number of bytes and keeps
// every block it handed out on a list, so that a heap Duktape gave up on can
// still be freed completely.
class CappingAllocator {
 public:
  explicit CappingAllocator(std::size_t limit) : limit_(limit) {}
  ~CappingAllocator() { ReleaseAll(); }
  CappingAllocator(const CappingAllocator&) = delete;
  CappingAllocator& operator=(const CappingAllocator&) = delete;

  void* Allocate(std::size_t size);
  void* Reallocate(void* ptr, std::size_t size);
  void Free(void* ptr);
  // Frees every block still out.
  void ReleaseAll();

  std::size_t Used() const { return used_; }
  std::size_t Limit() const { return limit_; }
  // Whether a request was refused since the flag was last cleared.
  bool Refused() const { return refused_; }
  void ClearRefused() { refused_ = false; }

 private:
  struct alignas(std::max_align_t) Block {
    Block* prev;
    Block* next;
    std::size_t size;
  };
  void Link(Block* b);
  void Unlink(Block* b);

  std::size_t limit_;
  std::size_t used_ = 0;
  bool refused_ = false;
  Block* head_ = nullptr;
};

// What became of one guarded call.
struct CallOutcome {
  // The call function ran to its end (its own script errors are its own
  // business); false when an error escaped it or the heap hit a fatal error.
  bool completed = false;
  bool timedOut = false;
  bool outOfMemory = false;
  // Duktape gave up on the heap; it was dropped and will be made afresh.
  bool fatal = false;
  std::string message;  // why, when not completed
};

class DukHeap {
 public:
  explicit DukHeap(std::size_t memoryLimit);
  ~DukHeap();
  DukHeap(const DukHeap&) = delete;
  DukHeap& operator=(const DukHeap&) = delete;

  // Whether a heap exists; `Ensure` makes one when there is none (after a
  // failed creation or a fatal error). `CreationError` tells why it failed.
  bool Valid() const { return ctx_ != nullptr; }
  bool Ensure();
  const std::string& CreationError() const { return creationError_; }
  // Drops the heap and every global in it, then makes a fresh one.
  void Reset();

  // Runs `fn(ctx, udata)` under duk_safe_call with the deadline `timeoutMs`
  // from now (negative: none). `fn` must leave no results; it reports through
  // `udata`. Errors escaping `fn`, a deadline that passed and a refused
  // allocation are told apart in the outcome. `fn` and the C++ code it calls
  // must hold no object with a destructor across a Duktape call: Duktape
  // unwinds with longjmp.
  CallOutcome Call(duk_safe_call_function fn, void* udata, int timeoutMs);

  std::size_t MemoryUsed() const;
  duk_context* Context() const { return ctx_.get(); }

  struct State;  // the heap's udata: allocator, deadline, fatal escape

 private:
  struct Destroyer {
    State* state;
    void operator()(duk_context* ctx) const;
  };
  bool Create();
  void Abandon();

  std::unique_ptr<State> state_;
  std::unique_ptr<duk_context, Destroyer> ctx_;
  std::string creationError_;
};

// Duktape keeps strings as CESU-8: every UTF-16 unit, a surrogate included,
// as the UTF-8 form of that unit. Pushing text this way keeps ECMAScript's
// view of a string as UTF-16 units (an emoji is two units, and
// encodeURIComponent sees the surrogate pair).
std::string Utf16ToCesu8(std::u16string_view units);
// Duktape's strings back to UTF-16: CESU-8, and the four-byte UTF-8 form
// Duktape may also hold, become their units; malformed bytes become U+FFFD.
std::u16string Cesu8ToUtf16(std::string_view bytes);

}  // namespace vyrelo::script::detail
