#pragma once

namespace korvane {

struct OperationContext;

// 智能写入: writes the buffer at the start address, erasing and programming only what differs
// from what the chip holds, and reports what it did. The chip's SFDP table, read first, gives the
// erase sizes (the record's sector size otherwise). Returns true when the chip holds the buffer.
bool smartWriteBuffer(const OperationContext& context);

} // namespace korvane
