#include "core/Z80Prefixed.h"

#include "core/ContendedMemory.h"
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

// The memories the processor runs on: plain, watched by the debugger, and contended.
template void Z80Core<Memory>::ExecuteCB();
template void Z80Core<Memory>::ExecuteED();
template void Z80Core<WatchedMemory>::ExecuteCB();
template void Z80Core<WatchedMemory>::ExecuteED();
template void Z80Core<ContendedMemory>::ExecuteCB();
template void Z80Core<ContendedMemory>::ExecuteED();

}  // namespace vantrel
