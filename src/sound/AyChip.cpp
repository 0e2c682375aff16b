#include "sound/AyChip.h"

namespace vantrel {

void AyChip::AyReset() {
  registers_.fill(0);
}

}  // namespace vantrel
