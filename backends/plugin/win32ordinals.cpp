#include "backends/plugin/win32ordinals.h"

#include <windows.h>

namespace korvane {

namespace {

std::string narrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size, nullptr,
                            nullptr);
    return out;
}

std::string systemMessage(DWORD code)
{
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length > 0 && buffer != nullptr ? std::string(buffer, length) : std::string();
    if (buffer != nullptr)
        LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
}

} // namespace

bool loadAdapterDllByOrdinal(const std::wstring& path, AdapterFunctions* functions, void** module,
                             std::string* error)
{
    // Only the DLL's own folder and the system's are searched for what it needs.
    HMODULE library = LoadLibraryExW(path.c_str(), nullptr,
                                     LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (library == nullptr) {
        *error = "cannot load the adapter library " + narrow(path) + ": " + systemMessage(GetLastError());
        return false;
    }
    AdapterFunctions resolved;
    std::string missing;
    int missingCount = 0;
    for (const AdapterFunctionSlot& slot : kAdapterFunctionSlots) {
        const FARPROC function = GetProcAddress(library, MAKEINTRESOURCEA(slot.ordinal));
        if (function == nullptr) {
            missing += (missingCount++ > 0 ? ", " : "") + std::string(slot.name) + " (ordinal " +
                       std::to_string(slot.ordinal) + ")";
            continue;
        }
        // Through the generic function pointer type, which any function pointer converts to and from.
        slot.store(resolved, reinterpret_cast<void (*)()>(function));
    }
    if (missingCount > 0) {
        FreeLibrary(library);
        *error = "the adapter library " + narrow(path) + " lacks " + std::to_string(missingCount) +
                 " of the 16 operations: " + missing;
        return false;
    }
    *functions = resolved;
    *module = library;
    return true;
}

void freeAdapterDll(void* module)
{
    if (module != nullptr)
        FreeLibrary(static_cast<HMODULE>(module));
}

} // namespace korvane
