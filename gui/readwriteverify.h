#pragma once

class QByteArray;

namespace korvane {

class OperationFrame;
struct OperationContext;

// Reads the chip from the start address to its end into the buffer shown by context.hexEdit:
// an existing buffer is replaced in two undoable steps, otherwise a first model is created (owned
// by context.window). Nothing changes unless the whole range was read. Returns true on success.
bool readIntoBuffer(const OperationContext& context);

// Programs the whole buffer at the start address (and with context.verifyAfterWrite reads it back
// and compares). Refuses a buffer that would run past the chip's end, since the chip would wrap
// those addresses onto its beginning. Returns true on success.
bool writeBuffer(const OperationContext& context);

// The buffer, whole, to be put on the chip at the start address (by writeFlash and smart write).
// False after the frame warned (没有数据！, 数据长度超出芯片容量！: it would wrap onto the chip's
// beginning) or failed (the buffer could not be had whole).
bool bufferToWrite(const OperationContext& context, OperationFrame& frame, QByteArray* source);

// Reads back as many bytes as the buffer holds from the start address and reports how many differ.
// Returns true when the chip was read and matched the buffer.
bool verifyBuffer(const OperationContext& context);

} // namespace korvane
