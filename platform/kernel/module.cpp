// Modules: the program and the shared libraries it loads, each with the resource tables that
// kv_add_resources embedded in it.
//
// A module is identified by its load bias (dl_phdr_info::dlpi_addr, link_map::l_addr), which is
// the same number whether the module was found through the address of one of its resource
// tables or through the handle dlopen returned. HMODULE points to the Module record; every call
// checks a handle against the registry before using it, so a stale or foreign handle fails
// instead of being dereferenced.
//
// Locking: the registry's lock guards every record. It is never held across dlopen or dlclose,
// because those run the module's static initializers and destructors, which register and
// unregister resource tables and so take the lock themselves (possibly while the dynamic
// loader's own lock is held on that thread).
#include "module.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/kernel.h"

namespace platform {
namespace {

// Libraries are loaded with all symbols bound at once and kept out of the global scope, so
// that two filter libraries exporting the same entry points never see each other's.
constexpr int kLoadFlags = RTLD_NOW | RTLD_LOCAL;

struct Module {
    uintptr_t base = 0;      // load bias of the object: the record's key
    std::string path;        // canonical native path of the module's file
    bool program = false;    // the program is never unloaded and never counted
    void* handle = nullptr;  // the dlopen reference held while refs > 0
    unsigned refs = 0;       // LoadLibraryW references not yet released by FreeLibrary
    std::vector<const ResourceTable*> tables;  // in registration order
    // Type key to name key to entry (keys as ResourceKey makes them); when two tables hold
    // the same type and name, the one registered first is found.
    std::unordered_map<std::wstring, std::unordered_map<std::wstring, const ResourceEntry*>> index;
};

struct Registry {
    std::mutex lock;
    std::map<uintptr_t, std::unique_ptr<Module>> modules;  // guarded by `lock`, keyed by base
};

Registry& TheRegistry()
{
    static Registry* registry = new Registry;  // lives until the process ends
    return *registry;
}

// A loaded object as the dynamic loader lists it.
struct ObjectInfo {
    uintptr_t base = 0;
    std::string path;  // canonical where the file exists, else the loader's name
    bool program = false;
};

std::string CanonicalPath(const std::string& path)
{
    char resolved[PATH_MAX];
    if (!path.empty() && realpath(path.c_str(), resolved)) return resolved;
    return path;
}

std::string ProgramFilePath()
{
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return std::string();
    return CanonicalPath(std::string(buffer, size_t(length)));
}

// Every loaded object, the program first (the loader always lists it first).
std::vector<ObjectInfo> LoadedObjects()
{
    struct Raw {
        uintptr_t base;
        std::string name;
    };
    std::vector<Raw> raw;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* context) {
            static_cast<std::vector<Raw>*>(context)->push_back(
                {uintptr_t(info->dlpi_addr), info->dlpi_name ? info->dlpi_name : ""});
            return 0;
        },
        &raw);
    std::vector<ObjectInfo> objects;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (i == 0) {
            objects.push_back({raw[i].base, ProgramFilePath(), true});
        } else if (!raw[i].name.empty()) {
            objects.push_back({raw[i].base, CanonicalPath(raw[i].name), false});
        }
    }
    return objects;
}

const ObjectInfo& Program()
{
    static const ObjectInfo program = [] {
        std::vector<ObjectInfo> objects = LoadedObjects();
        return objects.empty() ? ObjectInfo{0, ProgramFilePath(), true} : objects.front();
    }();
    return program;
}

// The loaded object whose segments contain the address.
std::optional<ObjectInfo> ObjectContaining(const void* address)
{
    struct Search {
        uintptr_t address;
        bool found = false;
        bool first = true;
        bool program = false;
        uintptr_t base = 0;
        std::string name;
    } search{reinterpret_cast<uintptr_t>(address)};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* context) {
            auto* s = static_cast<Search*>(context);
            bool first = s->first;
            s->first = false;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const auto& segment = info->dlpi_phdr[i];
                if (segment.p_type != PT_LOAD) continue;
                uintptr_t start = info->dlpi_addr + segment.p_vaddr;
                if (s->address >= start && s->address - start < segment.p_memsz) {
                    s->found = true;
                    s->program = first;
                    s->base = info->dlpi_addr;
                    s->name = info->dlpi_name ? info->dlpi_name : "";
                    return 1;
                }
            }
            return 0;
        },
        &search);
    if (!search.found) return std::nullopt;
    if (search.program) return Program();
    return ObjectInfo{search.base, CanonicalPath(search.name), false};
}

// Resource keys: numbers as "#123", strings with ASCII letters upper-cased, so that equal keys
// mean names equal without regard to case.
std::wstring IdKey(WORD id) { return L"#" + std::to_wstring(id); }

std::wstring FoldedText(const wchar_t* text)
{
    std::wstring folded(text);
    for (wchar_t& c : folded) {
        if (c >= L'a' && c <= L'z') c = wchar_t(c - L'a' + L'A');
    }
    return folded;
}

std::wstring EntryKey(const wchar_t* text, WORD id) { return text ? FoldedText(text) : IdKey(id); }

// A name or type as FindResourceW takes it: MAKEINTRESOURCE(id), "#<decimal>" for that id, or
// a string.
std::wstring LookupKey(LPCWSTR value)
{
    if (IS_INTRESOURCE(value)) return IdKey(LOWORD(reinterpret_cast<ULONG_PTR>(value)));
    if (value[0] == L'#' && value[1] != 0) {
        unsigned id = 0;
        const wchar_t* p = value + 1;
        for (; *p >= L'0' && *p <= L'9' && id <= 0xFFFF; ++p) id = id * 10 + unsigned(*p - L'0');
        if (*p == 0 && id <= 0xFFFF) return IdKey(WORD(id));
    }
    return FoldedText(value);
}

void RebuildIndex(Module* module)
{
    module->index.clear();
    for (const ResourceTable* table : module->tables) {
        for (DWORD i = 0; i < table->count; ++i) {
            const ResourceEntry& entry = table->entries[i];
            module->index[EntryKey(entry.typeName, entry.typeId)].emplace(
                EntryKey(entry.name, entry.nameId), &entry);
        }
    }
}

bool Removable(const Module* module)
{
    return !module->program && module->refs == 0 && !module->handle && module->tables.empty();
}

// The record of a loaded object, created when it has none. A record found at the same base
// under another path belongs to an object that was unloaded behind our back (records of
// modules nobody loaded through LoadLibraryW are not told); it is taken over.
// Requires the registry's lock.
Module* RecordFor(Registry& registry, const ObjectInfo& object)
{
    auto it = registry.modules.find(object.base);
    if (it != registry.modules.end()) {
        Module* module = it->second.get();
        if (module->path != object.path && Removable(module)) module->path = object.path;
        return module;
    }
    auto module = std::make_unique<Module>();
    module->base = object.base;
    module->path = object.path;
    module->program = object.program;
    Module* raw = module.get();
    registry.modules.emplace(object.base, std::move(module));
    return raw;
}

// The record behind a handle; null means the program. Returns null for a handle that names no
// live record. Requires the registry's lock.
Module* Resolve(Registry& registry, HMODULE handle)
{
    if (!handle) return RecordFor(registry, Program());
    for (auto& [base, module] : registry.modules) {
        if (reinterpret_cast<HMODULE>(module.get()) == handle) return module.get();
    }
    return nullptr;
}

bool IsLive(Registry& registry, const Module* module)
{
    for (auto& [base, candidate] : registry.modules) {
        if (candidate.get() == module) return true;
    }
    return false;
}

HMODULE AsHandle(Module* module) { return reinterpret_cast<HMODULE>(module); }

bool IsBareName(const std::wstring& name)
{
    return name.find_first_of(L"\\/:") == std::wstring::npos;
}

// A bare module name follows the default extension rule: no extension means ".dll"; a
// trailing "." means "no extension" and is dropped. A path names its file as written, since
// Linux files (the program's among them) often have no extension.
std::wstring ModuleName(const std::wstring& name)
{
    if (!IsBareName(name) || name.empty()) return name;
    if (name.back() == L'.') return name.substr(0, name.size() - 1);
    if (name.find(L'.') == std::wstring::npos) return name + L".dll";
    return name;
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() && FoldedText(a.c_str()) == FoldedText(b.c_str());
}

std::wstring FileNameOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return AnsiToWide(slash == std::string::npos ? path : path.substr(slash + 1));
}

// The first loaded object (the program, then in load order) whose file is called `name`.
std::optional<ObjectInfo> LoadedByFileName(const std::wstring& name)
{
    for (const ObjectInfo& object : LoadedObjects()) {
        if (EqualNoCase(FileNameOf(object.path), name)) return object;
    }
    return std::nullopt;
}

std::optional<ObjectInfo> LoadedByPath(const std::string& canonicalPath)
{
    for (const ObjectInfo& object : LoadedObjects()) {
        if (object.path == canonicalPath) return object;
    }
    return std::nullopt;
}

// The system's own modules that programs load by name: the layer's library stands in for them.
// Its exports with C linkage are what GetProcAddress finds there.
std::optional<ObjectInfo> SystemModule(const std::wstring& name)
{
    static const wchar_t* const kSystemModules[] = {L"user32.dll"};
    for (const wchar_t* system : kSystemModules) {
        if (EqualNoCase(name, system)) return ObjectContaining(reinterpret_cast<const void*>(&Program));
    }
    return std::nullopt;
}

bool IsRegularFile(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Loads a module through dlopen (a path, or a bare name for dlopen's own search) and counts one
// reference. The program itself cannot be opened again; naming its file gives its record,
// uncounted. Returns null when dlopen fails.
Module* LoadNative(const std::string& native)
{
    Registry& registry = TheRegistry();
    if (native.find('/') != std::string::npos && CanonicalPath(native) == Program().path) {
        std::lock_guard<std::mutex> guard(registry.lock);
        return RecordFor(registry, Program());
    }
    void* handle = dlopen(native.c_str(), kLoadFlags);
    if (!handle) return nullptr;
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) {
        dlclose(handle);
        return nullptr;
    }
    bool program = !map->l_name || map->l_name[0] == 0;
    ObjectInfo object = program ? Program()
                                : ObjectInfo{uintptr_t(map->l_addr), CanonicalPath(map->l_name), false};
    void* surplus = nullptr;
    Module* module = nullptr;
    {
        std::lock_guard<std::mutex> guard(registry.lock);
        module = RecordFor(registry, object);
        if (module->program) {
            surplus = handle;
        } else {
            ++module->refs;
            if (module->handle) {
                surplus = handle;  // one dlopen reference per record is enough
            } else {
                module->handle = handle;
            }
        }
    }
    if (surplus) dlclose(surplus);
    return module;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Resource tables

void RegisterResourceTable(const ResourceTable* table)
{
    if (!table) return;
    std::optional<ObjectInfo> object = ObjectContaining(table);
    if (!object) return;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    Module* module = RecordFor(registry, *object);
    if (std::find(module->tables.begin(), module->tables.end(), table) == module->tables.end()) {
        module->tables.push_back(table);
        RebuildIndex(module);
    }
}

void UnregisterResourceTable(const ResourceTable* table)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    for (auto it = registry.modules.begin(); it != registry.modules.end(); ++it) {
        Module* module = it->second.get();
        auto found = std::find(module->tables.begin(), module->tables.end(), table);
        if (found == module->tables.end()) continue;
        module->tables.erase(found);
        RebuildIndex(module);
        if (Removable(module)) registry.modules.erase(it);
        return;
    }
}

const ResourceEntry* FindModuleResource(HMODULE handle, LPCWSTR name, LPCWSTR type)
{
    std::wstring typeKey = LookupKey(type);
    std::wstring nameKey = LookupKey(name);
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    Module* module = Resolve(registry, handle);
    if (!module) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (module->tables.empty()) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    auto names = module->index.find(typeKey);
    if (names == module->index.end()) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    auto entry = names->second.find(nameKey);
    if (entry == names->second.end()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return entry->second;
}

bool ModuleOwnsResource(HMODULE handle, const ResourceEntry* entry)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    Module* module = Resolve(registry, handle);
    if (!module) return false;
    std::less<const ResourceEntry*> before;
    for (const ResourceTable* table : module->tables) {
        if (!before(entry, table->entries) && before(entry, table->entries + table->count)) {
            return true;
        }
    }
    return false;
}

bool IsEmbeddedResourceData(const void* data, size_t bytes)
{
    auto address = reinterpret_cast<uintptr_t>(data);
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    for (auto& [base, module] : registry.modules) {
        for (const ResourceTable* table : module->tables) {
            for (DWORD i = 0; i < table->count; ++i) {
                auto start = reinterpret_cast<uintptr_t>(table->entries[i].data);
                if (address >= start && address - start <= table->entries[i].size &&
                    bytes <= table->entries[i].size - (address - start)) {
                    return true;
                }
            }
        }
    }
    return false;
}

bool WithModuleAtPath(const std::string& nativePath, const std::function<bool(HMODULE)>& read)
{
    std::string canonical = CanonicalPath(nativePath);
    if (!IsRegularFile(canonical)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    Module* module = LoadNative(canonical);
    if (!module) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return false;
    }
    bool ok = read(AsHandle(module));
    DWORD error = GetLastError();
    FreeLibrary(AsHandle(module));
    SetLastError(error);
    return ok;
}

}  // namespace platform

using namespace platform;

// ---------------------------------------------------------------------------------------------
// Loading and unloading

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName)
{
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::wstring name = ModuleName(fileName);
    if (name.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::string native;
    if (IsBareName(name)) {
        // A module already loaded under that file name is used wherever it came from; then the
        // program's folder; then dlopen's own search.
        if (std::optional<ObjectInfo> loaded = LoadedByFileName(name)) {
            native = loaded->path;
        } else if (std::optional<ObjectInfo> system = SystemModule(name)) {
            // Loaded with the program and never unloaded: like the program, it counts no
            // references, so its handle stays the same across loads and frees.
            Registry& registry = TheRegistry();
            std::lock_guard<std::mutex> guard(registry.lock);
            return AsHandle(RecordFor(registry, *system));
        } else {
            std::string folder = Program().path.substr(0, Program().path.rfind('/') + 1);
            std::string candidate = ToNativePath(ToWindowsPath(folder) + L"\\" + name);
            native = IsRegularFile(candidate) ? candidate : WideToAnsi(name);
        }
    } else {
        native = ToNativePath(name);
    }
    Module* module = LoadNative(native);
    if (!module) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return AsHandle(module);
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName)
{
    Registry& registry = TheRegistry();
    if (!moduleName) {
        std::lock_guard<std::mutex> guard(registry.lock);
        return AsHandle(RecordFor(registry, Program()));
    }
    std::wstring name = ModuleName(moduleName);
    std::optional<ObjectInfo> object;
    if (!name.empty()) {
        object = IsBareName(name) ? LoadedByFileName(name)
                                  : LoadedByPath(CanonicalPath(ToNativePath(name)));
        if (!object && IsBareName(name)) object = SystemModule(name);
    }
    if (!object) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(registry.lock);
    return AsHandle(RecordFor(registry, *object));
}

BOOL WINAPI FreeLibrary(HMODULE handle)
{
    Registry& registry = TheRegistry();
    Module* module = nullptr;
    void* release = nullptr;
    {
        std::lock_guard<std::mutex> guard(registry.lock);
        module = handle ? Resolve(registry, handle) : nullptr;
        if (!module) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        // The program, and modules that the loader brought in without LoadLibraryW, hold no
        // counted reference: there is nothing to release.
        if (module->program || module->refs == 0) return TRUE;
        if (--module->refs == 0) {
            release = module->handle;
            module->handle = nullptr;
        }
    }
    if (release) {
        dlclose(release);
        std::lock_guard<std::mutex> guard(registry.lock);
        if (IsLive(registry, module) && Removable(module)) registry.modules.erase(module->base);
    }
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE handle, LPCSTR procName)
{
    // Exports are found by name only: shared objects have no ordinals.
    if (!procName || IS_INTRESOURCE(procName)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    ObjectInfo object;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> guard(registry.lock);
        Module* module = Resolve(registry, handle);
        if (!module) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        object = {module->base, module->path, module->program};
    }
    // A reference of our own keeps the module in place while its symbols are read, even when
    // another thread frees it meanwhile.
    void* scope = object.program ? dlopen(nullptr, RTLD_NOW)
                                 : dlopen(object.path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (!scope) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* symbol = dlsym(scope, procName);
    // dlsym also searches the module's dependencies; only the module's own exports count.
    link_map* owner = nullptr;
    Dl_info info;
    if (symbol && (!dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) ||
                   !owner || uintptr_t(owner->l_addr) != object.base)) {
        symbol = nullptr;
    }
    dlclose(scope);
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

DWORD WINAPI GetModuleFileNameW(HMODULE handle, LPWSTR fileName, DWORD size)
{
    std::string path;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> guard(registry.lock);
        Module* module = Resolve(registry, handle);
        if (!module) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        path = module->path;
    }
    std::wstring text = ToWindowsPath(path);
    if (size == 0 || !fileName) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (text.size() < size) {
        std::copy(text.begin(), text.end(), fileName);
        fileName[text.size()] = 0;
        return DWORD(text.size());
    }
    // Too small: the text is cut to size - 1 characters and a zero, and the result is the
    // buffer's size, so that callers can tell a cut name from a whole one.
    std::copy(text.begin(), text.begin() + (size - 1), fileName);
    fileName[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}
