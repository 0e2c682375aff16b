#include "core/PortDecoder.h"

namespace vantrel {

uint8_t PortDecoder::PortRead(uint16_t /*port*/) {
  // No device answers reads yet: an unanswered port reads as a floating bus.
  return 0xFF;
}

void PortDecoder::PortWrite(uint16_t port, uint8_t value) {
  if (Matches(port, Port7FFDBits, Port7FFDMask)) memory_.WritePort7FFD(value);
  // Only the Scorpion models react; the memory engine checks the model.
  if (Matches(port, Port1FFDBits, Port1FFDMask)) memory_.WritePort1FFD(value);
}

PortBus PortDecoder::Bus() {
  PortBus bus;
  bus.Context = this;
  bus.Read = [](void* context, uint16_t port) {
    return static_cast<PortDecoder*>(context)->PortRead(port);
  };
  bus.Write = [](void* context, uint16_t port, uint8_t value) {
    static_cast<PortDecoder*>(context)->PortWrite(port, value);
  };
  return bus;
}

}  // namespace vantrel
