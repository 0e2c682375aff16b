#pragma once

#include "input/Gamepad.h"

namespace vantrel {

// The first game pad through SDL2's game controller API (SDL knows the button layout of
// most pads). Polled from one thread, which must be the one that created it: each poll
// lets SDL see pads come and go, opens the first pad when none is open, and reads it.
class SdlGamepad {
 public:
  // When SDL's controller subsystem fails the object stays unavailable, silently.
  SdlGamepad();
  ~SdlGamepad();
  SdlGamepad(const SdlGamepad&) = delete;
  SdlGamepad& operator=(const SdlGamepad&) = delete;

  bool Available() const { return subsystem_; }
  // The open pad's controls: d-pad and left stick as directions, the buttons as they
  // are; 0 without a pad.
  PadControls Poll();
  bool Connected() const { return pad_ != nullptr; }

 private:
  void* pad_ = nullptr;  // SDL_GameController
  bool subsystem_ = false;
};

}  // namespace vantrel
