#include "photocmd/apply_operation.h"

#include <variant>

#include "photocmd/apply_ops.h"

namespace Vs4Command {

Vs4Image::Status ApplyOperation(const Operation& op, Vs4Image::CBaseImage& target,
                                ApplyContext& context) {
    // Every alternative of Operation has its Apply overload in apply_ops.h;
    // a value without one does not compile.
    return std::visit([&](const auto& value) { return Apply(value, target, context); }, op);
}

}  // namespace Vs4Command
