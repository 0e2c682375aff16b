#include "platform/SdlSoundOutput.h"

#include <SDL.h>

#include <type_traits>

namespace vantrel {

static_assert(std::is_same_v<SDL_AudioDeviceID, uint32_t>);
static_assert(std::is_same_v<Sint16, int16_t>);

namespace {

uint32_t Pack(int16_t left, int16_t right) {
  return static_cast<uint16_t>(left) | static_cast<uint32_t>(static_cast<uint16_t>(right)) << 16;
}

}  // namespace

SdlSoundOutput::SdlSoundOutput() {
  // SIGINT and SIGTERM belong to the program, which saves its settings on them; SDL's own
  // handlers would only post a quit event nobody reads.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
  subsystem_ = true;

  SDL_AudioSpec wanted{};
  wanted.freq = static_cast<int>(kSoundSampleRate);
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 2;
  wanted.samples = kDeviceSamples;
  wanted.callback = &SdlSoundOutput::FillDevice;
  wanted.userdata = this;
  SDL_AudioSpec obtained{};
  // No allowed changes: where the hardware differs, SDL converts, and the callback still
  // sees 16-bit stereo at 44100 Hz in chunks of kDeviceSamples.
  device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  if (device_ == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    subsystem_ = false;
  }
}

SdlSoundOutput::~SdlSoundOutput() {
  if (device_ != 0) SDL_CloseAudioDevice(device_);
  if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlSoundOutput::WriteBlock(uint32_t offset, std::span<const int16_t> stereo) {
  WriteLoop(buffer_, offset, stereo);
}

uint32_t SdlSoundOutput::PlayPosition() const {
  return position_.load(std::memory_order_acquire);
}

void SdlSoundOutput::Start() {
  if (device_ == 0) return;
  // The device is normally paused here; the lock keeps a running callback out anyway.
  SDL_LockAudioDevice(device_);
  for (auto& sample : buffer_) sample.store(0, std::memory_order_relaxed);
  position_.store(0, std::memory_order_release);
  SDL_UnlockAudioDevice(device_);
  SDL_PauseAudioDevice(device_, 0);
}

void SdlSoundOutput::Stop() {
  // Returns once no callback is running, so the position stays where it stopped.
  if (device_ != 0) SDL_PauseAudioDevice(device_, 1);
}

void SdlSoundOutput::WriteLoop(LoopBuffer& loop, uint32_t offset, std::span<const int16_t> stereo) {
  uint32_t at = offset % kSoundBufferSize;
  for (size_t i = 0; i + 1 < stereo.size(); i += 2) {
    loop[at].store(Pack(stereo[i], stereo[i + 1]), std::memory_order_relaxed);
    if (++at == kSoundBufferSize) at = 0;
  }
}

uint32_t SdlSoundOutput::ReadLoop(const LoopBuffer& loop, uint32_t position,
                                  std::span<int16_t> out) {
  uint32_t at = position % kSoundBufferSize;
  for (size_t i = 0; i + 1 < out.size(); i += 2) {
    const uint32_t word = loop[at].load(std::memory_order_relaxed);
    out[i] = static_cast<int16_t>(word & 0xFFFF);
    out[i + 1] = static_cast<int16_t>(word >> 16);
    if (++at == kSoundBufferSize) at = 0;
  }
  return at;
}

void SdlSoundOutput::FillDevice(void* self, uint8_t* stream, int length) {
  auto* output = static_cast<SdlSoundOutput*>(self);
  // Only this thread moves the position while playing, so a relaxed read of its own
  // last store is current.
  const uint32_t from = output->position_.load(std::memory_order_relaxed);
  const uint32_t to = ReadLoop(
      output->buffer_, from,
      std::span<int16_t>(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(length) / 2));
  output->position_.store(to, std::memory_order_release);
  // Taking the lock once orders the store before a waiter's check, so no wake-up is lost.
  { const std::lock_guard<std::mutex> lock(output->moveMutex_); }
  output->moved_.notify_all();
}

uint32_t SdlSoundOutput::WaitForMove(uint32_t last, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(moveMutex_);
  moved_.wait_for(lock, timeout, [&] { return position_.load(std::memory_order_acquire) != last; });
  return position_.load(std::memory_order_acquire);
}

}  // namespace vantrel
