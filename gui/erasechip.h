#pragma once

struct OperationContext;

// Polls allowed while waiting for the chip to become ready, before and after the erase command.
constexpr int kEraseChipReadyPolls = 30000;
constexpr int kEraseChipFinishPolls = 6000;
constexpr int kEraseChipPollIntervalMs = 10;

// Erases the whole chip with its own chip-erase instruction, driven by raw one-byte transfers,
// and reports the outcome. Returns true when the chip reported the erase as finished.
bool eraseChip(const OperationContext& context);
