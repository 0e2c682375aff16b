#pragma once

#include <cstdint>

namespace vantrel {

// How the processor reaches the I/O ports: two plain function pointers and their
// context, so the per-access cost is one direct-enough call and the port decoder
// (or a test's fake) can be plugged in without the processor knowing which it is.
struct PortBus {
  using ReadFn = uint8_t (*)(void* context, uint16_t port);
  using WriteFn = void (*)(void* context, uint16_t port, uint8_t value);

  void* Context = nullptr;
  ReadFn Read = [](void*, uint16_t) -> uint8_t { return 0xFF; };
  WriteFn Write = [](void*, uint16_t, uint8_t) {};

  uint8_t PortRead(uint16_t port) const { return Read(Context, port); }
  void PortWrite(uint16_t port, uint8_t value) const { Write(Context, port, value); }
};

}  // namespace vantrel
