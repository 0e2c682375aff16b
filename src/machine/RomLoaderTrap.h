#pragma once

#include <cstdint>

#include "tape/TapePlayer.h"

namespace vantrel {

class Machine;
class Memory;

// Instant loading through the BASIC ROM's byte loader (LD-BYTES at 0x0556, in whichever
// ROM page holds it: Sinclair's 48K BASIC or OpenSE BASIC). Once the loader has its
// request in place (PC at its first call of the edge routine, 0x056C), the block the tape
// holds goes straight to memory, and the registers, flags, the stack below SP and the
// border latch are left as the loader leaves them when it has read that block through
// the EAR bit: PC at its return to 0x053F. Only the time it would have taken differs.
//
// The tape player's loader hook: Waiting while the loader runs towards that point,
// Abandoned once PC has left it (the BREAK key) or when the ROM holds another loader.
TapePlayer::TrapResult LoadAtRomLoader(Machine& machine);

// Whether the byte loader at 0x0556 is one this follows.
bool KnownRomLoader(const Memory& mem);

}  // namespace vantrel
