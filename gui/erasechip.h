#pragma once

namespace korvane {

struct OperationContext;

// Erases the whole chip with its own chip-erase instruction, driven by raw one-byte transfers,
// and reports the outcome. Returns true when the chip reported the erase as finished.
bool eraseWholeChip(const OperationContext& context);

} // namespace korvane
