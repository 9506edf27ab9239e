#pragma once

// Windows only, and free of Qt: the maker's DLL exports the sixteen operations by ordinal (the
// numbers of AdapterOp) with the 32-bit standard-call convention.

#include "backends/plugin/adapterfunctions.h"

#include <string>

namespace korvane {

// Loads the DLL at path and resolves every operation by its ordinal. False when the DLL cannot be
// loaded or lacks an ordinal; *error then names the path and each missing operation with its
// ordinal, and nothing stays loaded. On success *module receives the module handle (an HMODULE),
// which stays loaded until freeAdapterDll.
bool loadAdapterDllByOrdinal(const std::wstring& path, AdapterFunctions* functions, void** module,
                             std::string* error);
void freeAdapterDll(void* module);

} // namespace korvane
