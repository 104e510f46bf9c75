#include "app/system_probe_win.h"

#include <windows.h>
#include <wbemidl.h>

#include "base/app_folder.h"
#include "app/physical_memory.h"
#include "base/wide_text_win.h"

uint64_t physical_memory_bytes = 0;

namespace {

template <class T>
void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

uint64_t sum_module_capacities(IEnumWbemClassObject* modules) {
    uint64_t total = 0;
    for (;;) {
        IWbemClassObject* module = nullptr;
        ULONG returned = 0;
        HRESULT hr = modules->Next(WBEM_INFINITE, 1, &module, &returned);
        if (FAILED(hr) || returned == 0 || !module) break;
        VARIANT capacity;
        VariantInit(&capacity);
        uint64_t bytes = 0;
        if (SUCCEEDED(module->Get(L"Capacity", 0, &capacity, nullptr, nullptr))) {
            // WMI hands this uint64 property over as decimal text.
            if (capacity.vt == VT_BSTR && capacity.bstrVal &&
                parse_capacity_text(from_wide(capacity.bstrVal), bytes))
                total += bytes;
            else if (capacity.vt == VT_UI8)
                total += capacity.ullVal;
        }
        VariantClear(&capacity);
        module->Release();
    }
    return total;
}

}  // namespace

bool probe_system() {
    OSVERSIONINFOEXW extended{};
    extended.dwOSVersionInfoSize = sizeof extended;
    bool has_version = GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended)) != FALSE;
    if (!has_version) {
        OSVERSIONINFOW plain{};
        plain.dwOSVersionInfoSize = sizeof plain;
        has_version = GetVersionExW(&plain) != FALSE;
    }
    wchar_t folder[MAX_PATH + 1] = {};
    DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
    app_folder = length > 0 && length < MAX_PATH ? from_wide(folder) : u"";
    if (app_folder.empty() || app_folder.back() != u'\\') app_folder.push_back(u'\\');
    return has_version;
}

int query_physical_memory() {
    physical_memory_bytes = 0;
    HRESULT hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(hr) && hr != RPC_E_TOO_LATE) return -1;
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
    IEnumWbemClassObject* modules = nullptr;
    int result = -1;
    BSTR name_space = SysAllocString(L"ROOT\\CIMV2");
    BSTR language = SysAllocString(L"WQL");
    BSTR query = SysAllocString(L"SELECT * FROM Win32_PhysicalMemory");
    if (SUCCEEDED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, reinterpret_cast<void**>(&locator))) &&
        SUCCEEDED(locator->ConnectServer(name_space, nullptr, nullptr, nullptr, 0, nullptr,
                                         nullptr, &services)) &&
        SUCCEEDED(CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                    RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                    EOAC_NONE)) &&
        SUCCEEDED(services->ExecQuery(language, query,
                                      WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                      nullptr, &modules))) {
        physical_memory_bytes = sum_module_capacities(modules);
        result = 0;
    }
    release(modules);
    release(services);
    release(locator);
    SysFreeString(query);
    SysFreeString(language);
    SysFreeString(name_space);
    // Where WMI lists no module with a capacity, the system's own count of physical memory
    // stands in for it.
    if (physical_memory_bytes == 0) {
        MEMORYSTATUSEX status{};
        status.dwLength = sizeof status;
        if (GlobalMemoryStatusEx(&status)) physical_memory_bytes = status.ullTotalPhys;
    }
    return result;
}
