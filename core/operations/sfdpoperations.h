#pragma once

#include "core/chip/chipinfo.h"
#include "core/chip/sfdp.h"
#include "core/operations/flashoperations.h"

#include <QString>

#include <cstdint>

namespace korvane {

class AdapterLibrary;

// Reads the chip's SFDP header, its parameter headers and the basic flash parameter table (5A,
// through raw transfers) on an adapter that is open and configured. NoSfdp when the signature is
// missing, SfdpUnusable when the table cannot be used (*why says why).
OperationResult readSfdp(AdapterLibrary& adapter, int deviceIndex, int selector, SfdpInfo* info,
                         QString* why = nullptr);

// Detection with SFDP: the ID as readChipId reads it, then the SFDP table. The ID's result is the
// result; *sfdpRead tells whether a table was read into *info.
OperationResult detectChip(AdapterLibrary& adapter, int deviceIndex, int selector,
                           std::uint8_t (&id)[kIdBufferSize], SfdpInfo* info, bool* sfdpRead);

// A chip record from SFDP: its size, page size and smallest erase type, 3- or 4-byte addresses as
// it says (4 when it takes both and is larger than 16 MiB), the common instruction set otherwise.
// False when the size does not fit a record (2 GiB and more, or not whole pages), no erase type
// is given, or the record would break a rule of chipRecordFault.
bool chipInfoFromSfdp(const SfdpInfo& info, const std::uint8_t* id, int idLength, const QString& manufacturer,
                      const QString& model, CHIP_INFO* chip);

} // namespace korvane
