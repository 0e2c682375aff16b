#include "core/ContendedMemory.h"
#include "core/WatchedMemory.h"
#include "core/Z80.h"
#include "core/Z80Main.h"

namespace vantrel {

template <class M>
template <int Idx>
void Z80Core<M>::ExecuteIndexed() {
  DispatchIndexed<Idx>();
}

// The memories the processor runs on: plain, watched by the debugger, and contended.
template void Z80Core<Memory>::ExecuteIndexed<1>();
template void Z80Core<Memory>::ExecuteIndexed<2>();
template void Z80Core<WatchedMemory>::ExecuteIndexed<1>();
template void Z80Core<WatchedMemory>::ExecuteIndexed<2>();
template void Z80Core<ContendedMemory>::ExecuteIndexed<1>();
template void Z80Core<ContendedMemory>::ExecuteIndexed<2>();

}  // namespace vantrel
