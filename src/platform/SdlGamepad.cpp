#include "platform/SdlGamepad.h"

#include <SDL.h>

namespace vantrel {

namespace {

SDL_GameController* Pad(void* pad) {
  return static_cast<SDL_GameController*>(pad);
}

}  // namespace

SdlGamepad::SdlGamepad() {
  // The program owns SIGINT and SIGTERM; the pad is read while another window has the
  // focus too, as the keyboard is.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  subsystem_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
}

SdlGamepad::~SdlGamepad() {
  if (pad_) SDL_GameControllerClose(Pad(pad_));
  if (subsystem_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

PadControls SdlGamepad::Poll() {
  if (!subsystem_) return 0;
  // Without SDL's video there is no event loop: this finds new and lost devices and
  // reads their state. The events it queues are of no use here.
  SDL_GameControllerUpdate();
  SDL_FlushEvents(SDL_JOYAXISMOTION, SDL_CONTROLLERSENSORUPDATE);
  if (pad_ && !SDL_GameControllerGetAttached(Pad(pad_))) {
    SDL_GameControllerClose(Pad(pad_));
    pad_ = nullptr;
  }
  if (!pad_) {
    for (int i = 0; i < SDL_NumJoysticks() && !pad_; ++i) {
      if (SDL_IsGameController(i)) pad_ = SDL_GameControllerOpen(i);
    }
    if (!pad_) return 0;
  }
  SDL_GameController* pad = Pad(pad_);
  static constexpr std::pair<SDL_GameControllerButton, PadControl> kButtons[] = {
      {SDL_CONTROLLER_BUTTON_DPAD_UP, kPadUp},
      {SDL_CONTROLLER_BUTTON_DPAD_DOWN, kPadDown},
      {SDL_CONTROLLER_BUTTON_DPAD_LEFT, kPadLeft},
      {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, kPadRight},
      {SDL_CONTROLLER_BUTTON_A, kPadA},
      {SDL_CONTROLLER_BUTTON_B, kPadB},
      {SDL_CONTROLLER_BUTTON_X, kPadX},
      {SDL_CONTROLLER_BUTTON_Y, kPadY},
      {SDL_CONTROLLER_BUTTON_BACK, kPadBack},
      {SDL_CONTROLLER_BUTTON_START, kPadStart},
      {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, kPadLeftShoulder},
      {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, kPadRightShoulder},
  };
  PadControls controls = StickDirections(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTX),
                                         SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTY));
  for (const auto& [button, control] : kButtons) {
    if (SDL_GameControllerGetButton(pad, button))
      controls |= static_cast<PadControls>(1u << control);
  }
  return controls;
}

}  // namespace vantrel
