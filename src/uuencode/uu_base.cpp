// TUUBase: the checksums of the coders.
#include "uuencode/uu_base.h"

namespace kestrel {

TUUBase::TUUBase(TComponent* AOwner)
    : TComponent(AOwner), FileSum(std::make_unique<TSumCheck>()),
      SectionSum(std::make_unique<TSumCheck>()) {}

TUUBase::~TUUBase() = default;

} // namespace kestrel
