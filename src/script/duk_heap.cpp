#include "script/duk_heap.h"

#include <pthread.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace vyrelo::script::detail {

// --- Capping allocator ---------------------------------------------------------

void CappingAllocator::Link(Block* b) {
  b->prev = nullptr;
  b->next = head_;
  if (head_) head_->prev = b;
  head_ = b;
  used_ += b->size;
}

void CappingAllocator::Unlink(Block* b) {
  if (b->prev) {
    b->prev->next = b->next;
  } else {
    head_ = b->next;
  }
  if (b->next) b->next->prev = b->prev;
  used_ -= b->size;
}

void* CappingAllocator::Allocate(std::size_t size) {
  if (size > limit_ - used_) {
    refused_ = true;
    return nullptr;
  }
  auto* b = static_cast<Block*>(std::malloc(sizeof(Block) + size));
  if (!b) {
    refused_ = true;
    return nullptr;
  }
  b->size = size;
  Link(b);
  return b + 1;
}

void* CappingAllocator::Reallocate(void* ptr, std::size_t size) {
  if (!ptr) return Allocate(size);
  if (size == 0) {
    Free(ptr);
    return nullptr;
  }
  Block* b = static_cast<Block*>(ptr) - 1;
  const std::size_t old = b->size;
  if (size > old && size - old > limit_ - used_) {
    refused_ = true;
    return nullptr;
  }
  Unlink(b);
  auto* grown = static_cast<Block*>(std::realloc(b, sizeof(Block) + size));
  if (!grown) {
    // realloc left the old block as it was.
    Link(b);
    refused_ = true;
    return nullptr;
  }
  grown->size = size;
  Link(grown);
  return grown + 1;
}

void CappingAllocator::Free(void* ptr) {
  if (!ptr) return;
  Block* b = static_cast<Block*>(ptr) - 1;
  Unlink(b);
  std::free(b);
}

void CappingAllocator::ReleaseAll() {
  while (head_) {
    Block* b = head_;
    Unlink(b);
    std::free(b);
  }
}

// --- Heap state and the engine's hooks ------------------------------------------

struct DukHeap::State {
  explicit State(std::size_t limit) : allocator(limit) {}
  CappingAllocator allocator;
  bool hasDeadline = false;
  std::chrono::steady_clock::time_point deadline;
  bool timedOut = false;
  // Where a fatal error lands: set around every entry into Duktape.
  std::jmp_buf* escape = nullptr;
  char fatalMessage[256] = {};
};

namespace {

void* Alloc(void* udata, duk_size_t size) {
  return static_cast<DukHeap::State*>(udata)->allocator.Allocate(size);
}
void* Realloc(void* udata, void* ptr, duk_size_t size) {
  return static_cast<DukHeap::State*>(udata)->allocator.Reallocate(ptr, size);
}
void Release(void* udata, void* ptr) { static_cast<DukHeap::State*>(udata)->allocator.Free(ptr); }

// Duktape calls this when it cannot go on with a heap (an error with no
// catcher, an internal failure). It must not return; instead of Duktape's
// default abort() it jumps back to the entry that is running, and the heap is
// dropped there. Every entry into Duktape in this file sets `escape`, so the
// abort below is only reached if that rule is broken.
[[noreturn]] void OnFatal(void* udata, const char* msg) {
  auto* state = static_cast<DukHeap::State*>(udata);
  if (state && state->escape) {
    std::snprintf(state->fatalMessage, sizeof state->fatalMessage, "%s", msg ? msg : "fatal error");
    std::longjmp(*state->escape, 1);
  }
  std::abort();
}

// The lowest address this thread's native stack may reach while Duktape runs,
// leaving room for the error handling that follows a refusal. Sanitizer
// builds have larger frames, so the reserve is generous.
const char* ComputeStackLimit() {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return nullptr;
  void* base = nullptr;
  std::size_t size = 0;
  const int rc = pthread_attr_getstack(&attr, &base, &size);
  pthread_attr_destroy(&attr);
  if (rc != 0 || !base || size == 0) return nullptr;
  const std::size_t reserve = size / 4 < (std::size_t{1} << 20) ? size / 4 : std::size_t{1} << 20;
  return static_cast<const char*>(base) + reserve;
}

// The heap whose call is running on this thread, for the native stack check,
// which Duktape calls without the heap's udata.
thread_local DukHeap::State* tlActive = nullptr;

bool DeadlinePassed(DukHeap::State* state) {
  if (!state || !state->hasDeadline) return false;
  // Once expired, stay expired until the call is over: Duktape relies on the
  // check answering the same while it unwinds every catcher.
  if (state->timedOut) return true;
  if (std::chrono::steady_clock::now() >= state->deadline) {
    state->timedOut = true;
    return true;
  }
  return false;
}

}  // namespace

}  // namespace vyrelo::script::detail

extern "C" int vyrelo_duk_exec_timeout_check(void* udata) {
  return vyrelo::script::detail::DeadlinePassed(
             static_cast<vyrelo::script::detail::DukHeap::State*>(udata))
             ? 1
             : 0;
}

// Duktape counts its own C recursion, but how much stack one level takes
// depends on the build (a sanitizer build's frames are several times
// larger) and the thread's stack may be smaller than the main thread's. This
// check looks at the real stack, so deep nesting ends in a RangeError on any
// thread instead of overflowing it.
//
// The same hook also carries the deadline into the regular expression
// matcher, which runs in native code that the interrupt counter never sees
// but which passes through this check at every backtracking step. The clock
// is read on every 1024th pass only.
extern "C" int vyrelo_duk_native_stack_check(void) {
  using namespace vyrelo::script::detail;
  thread_local const char* const limit = ComputeStackLimit();
  thread_local unsigned passes = 0;
  const char* here = static_cast<const char*>(__builtin_frame_address(0));
  if (limit != nullptr && here < limit) return 1;
  DukHeap::State* active = tlActive;
  if (active && active->hasDeadline && (active->timedOut || (++passes & 1023u) == 0)) {
    return DeadlinePassed(active) ? 1 : 0;
  }
  return 0;
}

namespace vyrelo::script::detail {

namespace {

// setjmp lives in a function of its own with nothing but trivial locals, so
// that a longjmp back into it skips no destructor.
int GuardedSafeCall(DukHeap::State* state, duk_context* ctx, duk_safe_call_function fn, void* udata,
                    bool* fatal) {
  std::jmp_buf escape;
  std::jmp_buf* volatile previous = state->escape;
  DukHeap::State* volatile previousActive = tlActive;
  state->escape = &escape;
  tlActive = state;
  if (setjmp(escape) != 0) {
    state->escape = previous;
    tlActive = previousActive;
    *fatal = true;
    return DUK_EXEC_ERROR;
  }
  const duk_int_t rc = duk_safe_call(ctx, fn, udata, 0, 1);
  state->escape = previous;
  tlActive = previousActive;
  *fatal = false;
  return rc;
}

duk_ret_t RemoveEngineGlobals(duk_context* ctx, void*) {
  // The `Duktape` object is no door to the machine, but Duktape.fin would let
  // a script run a finalizer when the heap is collected or destroyed, outside
  // any call, so it goes, and with it the engine's name in the global scope
  // (JScript has no such global either).
  duk_push_global_object(ctx);
  duk_del_prop_string(ctx, -1, "Duktape");
  duk_pop(ctx);
  return 0;
}

}  // namespace

void DukHeap::Destroyer::operator()(duk_context* ctx) const {
  std::jmp_buf escape;
  state->escape = &escape;
  if (setjmp(escape) == 0) {
    duk_destroy_heap(ctx);
  } else {
    state->allocator.ReleaseAll();
  }
  state->escape = nullptr;
}

DukHeap::DukHeap(std::size_t memoryLimit)
    : state_(std::make_unique<State>(memoryLimit)), ctx_(nullptr, Destroyer{nullptr}) {
  Create();
}

DukHeap::~DukHeap() { ctx_.reset(); }

bool DukHeap::Create() {
  State* state = state_.get();
  state->hasDeadline = false;
  state->timedOut = false;
  duk_context* ctx = duk_create_heap(&Alloc, &Realloc, &Release, state, &OnFatal);
  if (!ctx) {
    state->allocator.ReleaseAll();
    creationError_ = "Duktape could not create a heap (memory limit " +
                     std::to_string(state->allocator.Limit()) + " bytes)";
    return false;
  }
  ctx_ = std::unique_ptr<duk_context, Destroyer>(ctx, Destroyer{state});
  bool fatal = false;
  if (GuardedSafeCall(state, ctx, &RemoveEngineGlobals, nullptr, &fatal) != DUK_EXEC_SUCCESS) {
    if (fatal) {
      Abandon();
    } else {
      ctx_.reset();
    }
    creationError_ = "Duktape could not prepare the global object";
    return false;
  }
  duk_pop(ctx);
  creationError_.clear();
  return true;
}

bool DukHeap::Ensure() { return Valid() || Create(); }

void DukHeap::Reset() {
  ctx_.reset();
  Create();
}

void DukHeap::Abandon() {
  // After a fatal error Duktape's state is not to be trusted, not even for
  // duk_destroy_heap; the allocator knows every block, so the memory comes
  // back all the same.
  ctx_.release();
  ctx_ = std::unique_ptr<duk_context, Destroyer>(nullptr, Destroyer{state_.get()});
  state_->allocator.ReleaseAll();
}

std::size_t DukHeap::MemoryUsed() const { return state_->allocator.Used(); }

CallOutcome DukHeap::Call(duk_safe_call_function fn, void* udata, int timeoutMs) {
  CallOutcome outcome;
  if (!Ensure()) {
    outcome.message = creationError_;
    return outcome;
  }
  State* state = state_.get();
  state->timedOut = false;
  state->hasDeadline = timeoutMs >= 0;
  if (state->hasDeadline) {
    state->deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  }
  state->allocator.ClearRefused();

  duk_context* ctx = ctx_.get();
  bool fatal = false;
  const int rc = GuardedSafeCall(state, ctx, fn, udata, &fatal);
  outcome.timedOut = state->timedOut;
  outcome.outOfMemory = state->allocator.Refused();
  state->hasDeadline = false;
  state->timedOut = false;

  if (fatal) {
    outcome.fatal = true;
    outcome.message = std::string("Duktape fatal error: ") + state->fatalMessage;
    Abandon();
    return outcome;
  }
  if (rc == DUK_EXEC_SUCCESS) {
    outcome.completed = true;
  } else {
    // An error escaped the call function itself (it could not even push its
    // input): keep its text, never running script code to get it.
    const char* text = duk_is_string(ctx, -1) ? duk_get_string(ctx, -1) : nullptr;
    if (!text && duk_is_error(ctx, -1)) {
      duk_get_prop_string(ctx, -1, "message");
      outcome.message = duk_is_string(ctx, -1) ? duk_get_string(ctx, -1) : "engine error";
      duk_pop(ctx);
    } else {
      outcome.message = text ? text : "engine error";
    }
  }
  duk_pop(ctx);
  return outcome;
}

// --- CESU-8 ----------------------------------------------------------------------------

std::string Utf16ToCesu8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (char16_t u : units) {
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return out;
}

std::u16string Cesu8ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const std::size_t n = bytes.size();
  auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  auto isCont = [&](std::size_t i) { return i < n && (byteAt(i) & 0xC0) == 0x80; };
  std::size_t i = 0;
  while (i < n) {
    const unsigned char b = byteAt(i);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b >= 0xC0 && b < 0xE0) {
      extra = 1;
      cp = b & 0x1F;
      min = 0x80;
    } else if (b >= 0xE0 && b < 0xF0) {
      extra = 2;
      cp = b & 0x0F;
      min = 0x800;
    } else if (b >= 0xF0 && b < 0xF8) {
      extra = 3;
      cp = b & 0x07;
      min = 0x10000;
    } else {
      // A stray continuation byte, or Duktape's five- to seven-byte forms
      // for code points beyond Unicode: one replacement for the whole run.
      ++i;
      if (b >= 0xF8) {
        while (isCont(i)) ++i;
      }
      out.push_back(u'\uFFFD');
      continue;
    }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      if (!isCont(i + k)) {
        ok = false;
        extra = k - 1;
        break;
      }
      cp = (cp << 6) | (byteAt(i + k) & 0x3F);
    }
    i += 1 + extra;
    if (!ok || cp < min || cp > 0x10FFFF) {
      out.push_back(u'\uFFFD');
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

}  // namespace vyrelo::script::detail
