// Simulated resources of the program's module: found, loaded and locked as the platform does,
// from a compiled resource file (.res) or a test's own bytes.
#include "sim/machine.h"

#include <cstring>

namespace sim {

// Handles of resources and of their loaded data: the resource's place among the module's.
static const ULONG_PTR FIRST_RESOURCE = 0x80000, FIRST_LOADED = 0x90000, RESOURCE_STEP = 0x10;

std::string ResourceKey(LPCSTR name) {
    if (IS_INTRESOURCE(name)) return "#" + std::to_string((ULONG_PTR)name);
    std::string key = name;
    for (char &c : key) c = (char)toupper((unsigned char)c);
    return key;
}

static void Add(std::string type, std::string name, std::vector<BYTE> data) {
    M.resources.push_back({std::move(type), std::move(name), std::move(data)});
}

void AddResource(int type, int id, std::vector<BYTE> data) {
    Add(ResourceKey(MAKEINTRESOURCEA(type)), ResourceKey(MAKEINTRESOURCEA(id)), std::move(data));
}

void AddResource(LPCSTR type, LPCSTR name, std::vector<BYTE> data) {
    Add(ResourceKey(type), ResourceKey(name), std::move(data));
}

// A compiled resource file is a row of entries, each a header (the data's size, the header's,
// the type and the name, each an integer or a UTF-16 string, then fields the loader ignores) and
// the data, each entry starting on a DWORD. The first entry is an empty one.
namespace {

struct Reader {
    const BYTE *bytes;
    size_t end;
    size_t at;
    bool Word(WORD *value) {
        if (at + 2 > end) return false;
        memcpy(value, bytes + at, 2);
        at += 2;
        return true;
    }
    bool Dword(DWORD *value) {
        if (at + 4 > end) return false;
        memcpy(value, bytes + at, 4);
        at += 4;
        return true;
    }
    // An integer (0xFFFF, then the number) or a string, as ResourceKey writes either.
    bool Id(std::string *key) {
        WORD first;
        if (!Word(&first)) return false;
        if (first == 0xFFFF) {
            WORD number;
            if (!Word(&number)) return false;
            *key = "#" + std::to_string(number);
            return true;
        }
        key->clear();
        for (WORD c = first; c != 0;) {
            key->push_back((char)toupper(c < 0x80 ? c : '?'));
            if (!Word(&c)) return false;
        }
        return true;
    }
};

}  // namespace

bool AddCompiledResources(const BYTE *bytes, size_t size) {
    size_t at = 0;
    while (at + 8 <= size) {
        Reader header = {bytes, size, at};
        DWORD dataSize = 0, headerSize = 0;
        if (!header.Dword(&dataSize) || !header.Dword(&headerSize)) return false;
        if (headerSize < 16 || headerSize > size - at || dataSize > size - at - headerSize) return false;
        header.end = at + headerSize;
        std::string type, name;
        if (!header.Id(&type) || !header.Id(&name)) return false;
        const BYTE *data = bytes + at + headerSize;
        if (dataSize > 0) Add(type, name, std::vector<BYTE>(data, data + dataSize));
        at += (headerSize + dataSize + 3) / 4 * 4;
    }
    return at >= size;
}

static Resource *ResourceAt(ULONG_PTR handle, ULONG_PTR first) {
    if (handle < first || (handle - first) % RESOURCE_STEP) return nullptr;
    size_t index = (handle - first) / RESOURCE_STEP;
    return index < M.resources.size() ? &M.resources[index] : nullptr;
}

static bool IsProgram(HMODULE module) { return module == ProgramInstance(); }

// The program's resource of that type and name, or null.
const Resource *FindProgramResource(HMODULE module, LPCSTR name, LPCSTR type) {
    if (!IsProgram(module) || !name || !type) return nullptr;
    std::string typeKey = ResourceKey(type), nameKey = ResourceKey(name);
    for (const Resource &resource : M.resources)
        if (resource.type == typeKey && resource.name == nameKey) return &resource;
    return nullptr;
}

static Arg ResourceArg(LPCSTR name) { return IS_INTRESOURCE(name) ? Arg((ULONG_PTR)name) : Arg(name); }

}  // namespace sim

using namespace sim;

// ---------------------------------------------------------------------------------------------
// Platform functions

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    if (Enter("FindResourceA", {module, ResourceArg(name), ResourceArg(type)})) return 0;
    const Resource *found = FindProgramResource(module, name, type);
    if (!found) return 0;
    return (HRSRC)(FIRST_RESOURCE + RESOURCE_STEP * (found - &M.resources[0]));
}

// The data is the module's own: loaded with it, freed with it, never written.
HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource) {
    if (Enter("LoadResource", {module, resource})) return 0;
    if (!IsProgram(module) || !ResourceAt((ULONG_PTR)resource, FIRST_RESOURCE)) return 0;
    return (HGLOBAL)((ULONG_PTR)resource - FIRST_RESOURCE + FIRST_LOADED);
}

LPVOID WINAPI LockResource(HGLOBAL loaded) {
    if (Enter("LockResource", {loaded})) return nullptr;
    Resource *resource = ResourceAt((ULONG_PTR)loaded, FIRST_LOADED);
    return resource ? resource->data.data() : nullptr;
}

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource) {
    if (Enter("SizeofResource", {module, resource})) return 0;
    Resource *found = IsProgram(module) ? ResourceAt((ULONG_PTR)resource, FIRST_RESOURCE) : nullptr;
    return found ? (DWORD)found->data.size() : 0;
}
