#include "sound/BandLimitedSteps.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vantrel {

namespace {

// The low-pass: a Kaiser-windowed sinc cut at 0.45 of the sample rate (19.8 kHz at
// 44100 Hz). Its window reaches -50 dB past about 22 kHz, where the folding starts.
constexpr double kCutoff = 0.45;
constexpr double kKaiserBeta = 6.0;
constexpr double kHalfWidth = kStepTaps / 2 - 1;
constexpr double kPi = 3.14159265358979323846;

double BesselI0(double x) {
  double sum = 1, term = 1;
  for (int k = 1; k < 40; ++k) {
    term *= (x / (2 * k)) * (x / (2 * k));
    sum += term;
    if (term < 1e-12 * sum) break;
  }
  return sum;
}

double Impulse(double t) {
  if (std::fabs(t) >= kHalfWidth) return 0;
  const double r = t / kHalfWidth;
  const double window = BesselI0(kKaiserBeta * std::sqrt(1 - r * r)) / BesselI0(kKaiserBeta);
  const double x = 2 * kCutoff * t;
  const double sinc = x == 0 ? 1 : std::sin(kPi * x) / (kPi * x);
  return 2 * kCutoff * sinc * window;
}

StepKernel MakeKernel() {
  // The step response S(t), the running integral of the impulse, on a grid of 1/kStepPhases
  // of a sample (midpoint rule with substeps).
  constexpr int kSub = 16;
  constexpr int kCentre = kStepTaps / 2;
  const int points = (kStepTaps + 2) * kStepPhases;
  std::vector<double> integral(points + 1, 0.0);
  const double origin = -(kCentre + 1.0);
  const double h = 1.0 / (kStepPhases * kSub);
  for (int i = 0; i < points; ++i) {
    double part = 0;
    for (int s = 0; s < kSub; ++s) part += Impulse(origin + (i * kSub + s + 0.5) * h);
    integral[i + 1] = integral[i] + part * h;
  }
  const double total = integral[points];
  const auto stepAt = [&](double t) {
    const int i = std::clamp(static_cast<int>(std::lround((t - origin) * kStepPhases)), 0, points);
    return integral[i] / total;
  };
  StepKernel kernel{};
  for (int p = 0; p < kStepPhases; ++p) {
    // A step at fraction f of sample 0, heard kCentre samples later: sample j holds
    // S(j - f - kCentre), and the buffer the differences.
    const double f = static_cast<double>(p) / kStepPhases;
    double previous = 0, sum = 0;
    for (int j = 0; j < kStepTaps; ++j) {
      const double now = stepAt(j - f - kCentre);
      kernel[p][j] = static_cast<float>(now - previous);
      sum += kernel[p][j];
      previous = now;
    }
    // Exactly 1 in all, so a level held for ever sums to itself.
    kernel[p][kStepTaps - 1] += static_cast<float>(1.0 - sum);
  }
  return kernel;
}

}  // namespace

const StepKernel& BandLimitedStepKernel() {
  static const StepKernel kernel = MakeKernel();
  return kernel;
}

void StepBuffer::NextFrame() {
  if (!Touched) return;
  constexpr uint32_t kTail = kStepBufferLength - kSoundBlockSize;
  const auto shift = [](std::array<float, kStepBufferLength>& side) {
    std::copy(side.begin() + kSoundBlockSize, side.end(), side.begin());
    std::fill(side.begin() + kTail, side.end(), 0.0f);
    return std::any_of(side.begin(), side.begin() + kTail, [](float v) { return v != 0; });
  };
  // A tail still to be played keeps the buffer in use.
  const bool leftTail = shift(Left);
  const bool rightTail = Split && shift(Right);
  Touched = leftTail || rightTail;
  // Both sides have died away: Right is all zero again.
  if (!Touched) Split = false;
}

}  // namespace vantrel
