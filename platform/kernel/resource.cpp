// Resources: FindResourceW and the calls that give a found resource's bytes.
//
// An HRSRC points to the module's ResourceEntry and the HGLOBAL of LoadResource to the embedded
// bytes themselves. Both stay valid while the module is loaded; the bytes are read-only. There
// is nothing to unlock or free, as with Windows resources.
#include "module.h"
#include "platform/kernel.h"

using namespace platform;

namespace {

const ResourceEntry* EntryOf(HMODULE module, HRSRC resource)
{
    auto* entry = reinterpret_cast<const ResourceEntry*>(resource);
    if (!entry || !ModuleOwnsResource(module, entry)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return entry;
}

}  // namespace

HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    const ResourceEntry* entry = FindModuleResource(module, name, type);
    return reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(entry));
}

HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource)
{
    const ResourceEntry* entry = EntryOf(module, resource);
    return entry ? const_cast<BYTE*>(entry->data) : nullptr;
}

LPVOID WINAPI LockResource(HGLOBAL resourceData) { return resourceData; }

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource)
{
    const ResourceEntry* entry = EntryOf(module, resource);
    return entry ? entry->size : 0;
}
