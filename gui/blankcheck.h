#pragma once

namespace korvane {

struct OperationContext;

// 查空: reads the whole chip and reports whether every byte is 0xFF, and if not how many are not
// and where the first one is. Returns true when the chip is blank.
bool checkChipBlank(const OperationContext& context);

} // namespace korvane
