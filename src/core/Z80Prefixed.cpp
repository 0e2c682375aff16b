#include "core/Z80Prefixed.h"

#include "core/WatchedMemory.h"
#include "core/Z80.h"

namespace vantrel {

template <class M>
void Z80Core<M>::ExecuteCB() {
  DispatchCB();
}

template <class M>
void Z80Core<M>::ExecuteED() {
  DispatchED();
}

// Both memories the processor runs on: plain and watched by the debugger.
template void Z80Core<Memory>::ExecuteCB();
template void Z80Core<Memory>::ExecuteED();
template void Z80Core<WatchedMemory>::ExecuteCB();
template void Z80Core<WatchedMemory>::ExecuteED();

}  // namespace vantrel
