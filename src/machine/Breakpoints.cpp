#include "machine/Breakpoints.h"

#include <algorithm>
#include <cstddef>

namespace vantrel {

void Breakpoints::Assign(const std::vector<Breakpoint>& entries) {
  entries_.assign(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(
                                                         std::min(entries.size(), kMaxEntries)));
  hits_.assign(entries_.size(), 0);
  active_ = 0;
  pending_ = false;
  for (const Breakpoint& entry : entries_) {
    if (entry.Enabled && entry.Type != BreakType::Nmi)
      active_ |= 1u << static_cast<int>(entry.Type);
  }
}

bool Breakpoints::Matches(const Breakpoint& entry, uint32_t value) const {
  if (entry.Argument == kBreakAny) return true;
  switch (entry.Type) {
    case BreakType::Execution:
    case BreakType::WriteMemory:
    case BreakType::ReadMemory: return (entry.Argument & 0xFFFF) == value;
    // A port below 256 names the low byte that the Spectrum's devices decode.
    case BreakType::WritePort:
    case BreakType::ReadPort:
      return entry.Argument < 256 ? (value & 0xFF) == entry.Argument : entry.Argument == value;
    default: return true;
  }
}

bool Breakpoints::Fire(size_t index, uint32_t value) {
  const Breakpoint& entry = entries_[index];
  if (entry.Condition && regs_ != nullptr) {
    int32_t truth = 0;
    if (const char* failure = entry.Condition->Run(*regs_, mem_, &truth)) {
      // The run stops whatever the pass count: the condition cannot be trusted.
      if (!pending_) last_ = BreakHit{static_cast<int>(index), entry.Type, value, failure};
      pending_ = true;
      return true;
    }
    if (truth == 0) return false;
  }
  if (entry.Pass > 1 && ++hits_[index] < entry.Pass) return false;
  hits_[index] = 0;
  if (!pending_) last_ = BreakHit{static_cast<int>(index), entry.Type, value};
  pending_ = true;
  return true;
}

bool Breakpoints::Count(BreakType type, uint32_t value) {
  if (!Watches(type)) return false;
  bool fired = false;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Breakpoint& entry = entries_[i];
    if (entry.Type == type && entry.Enabled && Matches(entry, value)) fired |= Fire(i, value);
  }
  return fired;
}

void Breakpoints::OnTime(uint32_t before, uint32_t now) {
  if (!Watches(BreakType::TimePass)) return;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Breakpoint& entry = entries_[i];
    if (entry.Type == BreakType::TimePass && entry.Enabled && before < entry.Argument &&
        now >= entry.Argument) {
      Fire(i, now);
    }
  }
}

}  // namespace vantrel
