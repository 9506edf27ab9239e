#pragma once

namespace korvane {

struct OperationContext;

// Erases count sectors from startSector, one flashEraseSectors call each, inside the operation
// frame, and reports the outcome. Returns true when every sector was erased.
bool eraseSectorRun(const OperationContext& context, int startSector, int count);

// Asks for the sectors in an EraseSectorDialog (destroyed before any adapter access), then erases
// them. Cancelling touches no adapter. Returns true when sectors were chosen and erased.
bool chooseAndEraseSectors(const OperationContext& context);

} // namespace korvane
