// Version blocks: the VS_VERSIONINFO resource (RT_VERSION, id 1) of a module file.
//
// A block is a tree of nodes. Each node is a header of three little-endian WORDs (wLength: the
// node's bytes without trailing padding; wValueLength: the value's length, in UTF-16 units for
// text and in bytes for binary values; wType: 1 text, 0 binary), a zero-terminated UTF-16 key,
// then the value and the children, each starting on a 32-bit boundary counted from the start
// of the block.
//
// Our code reads strings as wchar_t, which is 32 bits here. The buffer that GetFileVersionInfoW
// fills therefore holds, after the block itself, a marker and a wide area twice the block's
// size: the wide copy of the text value at block offset o lives at wide area offset 2 * o,
// zero-terminated. VerQueryValueW hands out those copies. A block that did not come from
// GetFileVersionInfoW (a resource read directly, for instance) has no wide area; its strings
// cannot be read, while its fixed part and binary values can.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "module.h"
#include "platform/kernel.h"

using namespace platform;

namespace {

constexpr BYTE kWideMarker[4] = {'K', 'v', 'W', '1'};

size_t Align4(size_t n) { return (n + 3) & ~size_t(3); }

WORD Read16(const BYTE* p) { return WORD(p[0] | (p[1] << 8)); }

// Offsets of a block of `total` bytes inside a GetFileVersionInfoW buffer.
size_t MarkerOffset(size_t total) { return Align4(total); }
size_t WideOffset(size_t total) { return Align4(total) + sizeof kWideMarker; }
// The wide area holds one spare character at its end, for the terminator of a text value that
// ends the block without a zero of its own.
size_t BufferSize(size_t total) { return WideOffset(total) + 2 * Align4(total) + sizeof(wchar_t); }

struct Node {
    size_t offset = 0;          // the header's first byte
    size_t end = 0;             // offset + wLength
    size_t keyOffset = 0;       // the key's first unit
    size_t keyUnits = 0;        // the key's length without its zero
    WORD type = 0;              // 1 text, 0 binary
    WORD valueLength = 0;       // wValueLength as stored
    size_t valueOffset = 0;
    size_t valueBytes = 0;      // the value's bytes, never beyond the node's end
    size_t childrenOffset = 0;  // the first child's header, or end
};

// Reads the node at `offset`, which must lie wholly before `limit`. False for a node whose
// header, key or binary value does not fit: the walk stops there.
bool ParseNode(const BYTE* block, size_t offset, size_t limit, Node* node)
{
    if (offset > limit || limit - offset < 6) return false;
    size_t length = Read16(block + offset);
    if (length < 6 || length > limit - offset) return false;
    node->offset = offset;
    node->end = offset + length;
    node->valueLength = Read16(block + offset + 2);
    node->type = Read16(block + offset + 4);
    node->keyOffset = offset + 6;
    size_t p = node->keyOffset;
    for (;;) {
        if (node->end - p < 2) return false;
        if (Read16(block + p) == 0) break;
        p += 2;
    }
    node->keyUnits = (p - node->keyOffset) / 2;
    size_t value = std::min(Align4(p + 2), node->end);
    size_t bytes = node->type == 1 ? size_t(node->valueLength) * 2 : node->valueLength;
    if (bytes > node->end - value) {
        // Some writers count text values in bytes; the node's own length still bounds them.
        if (node->type != 1) return false;
        bytes = node->end - value;
    }
    node->valueOffset = value;
    node->valueBytes = bytes;
    node->childrenOffset = std::min(Align4(value + bytes), node->end);
    return true;
}

bool KeyIs(const BYTE* block, const Node& node, const std::wstring& key)
{
    if (node.keyUnits != key.size()) return false;
    auto fold = [](unsigned c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
    for (size_t i = 0; i < key.size(); ++i) {
        if (fold(Read16(block + node.keyOffset + 2 * i)) != fold(unsigned(key[i]))) return false;
    }
    return true;
}

// Calls visit(child) for each child in order until it returns true; stops at the first child
// that does not parse.
template <class Visit>
bool ForEachChild(const BYTE* block, const Node& parent, Visit visit)
{
    size_t offset = parent.childrenOffset;
    Node child;
    while (ParseNode(block, offset, parent.end, &child)) {
        if (visit(child)) return true;
        offset = Align4(child.end);
    }
    return false;
}

// The root node of a block whose bytes end at `limit`.
bool ParseRoot(const BYTE* block, size_t limit, Node* root)
{
    return ParseNode(block, 0, limit, root) && KeyIs(block, *root, L"VS_VERSION_INFO");
}

// The version resource of a module: its bytes and the length its root declares.
bool FindBlock(HMODULE module, const BYTE** block, size_t* total)
{
    const ResourceEntry* entry =
        FindModuleResource(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    if (!entry) return false;
    Node root;
    if (entry->size < 6 || !ParseRoot(entry->data, entry->size, &root)) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    *block = entry->data;
    *total = root.end;
    return true;
}

// Writes the wide copy of every text value of the block at `buffer` (total bytes long, with
// its wide area zeroed).
void FillWideArea(BYTE* buffer, size_t total)
{
    Node root;
    if (!ParseRoot(buffer, total, &root)) return;
    std::vector<Node> pending{root};
    while (!pending.empty()) {
        Node node = pending.back();
        pending.pop_back();
        if (node.type == 1 && node.valueBytes >= 2) {
            size_t units = 0;
            while (2 * units < node.valueBytes && Read16(buffer + node.valueOffset + 2 * units)) {
                ++units;
            }
            std::wstring text = Utf16LeToWide(buffer + node.valueOffset, 2 * units);
            // text.size() <= units, so the copy and its zero stay within the value's slots
            // and the character after them.
            std::memcpy(buffer + WideOffset(total) + 2 * node.valueOffset, text.c_str(),
                        (text.size() + 1) * sizeof(wchar_t));
        }
        ForEachChild(buffer, node, [&](const Node& child) {
            pending.push_back(child);
            return false;
        });
    }
}

}  // namespace

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle)
{
    if (handle) *handle = 0;
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD size = 0;
    WithModuleAtPath(ToNativePath(fileName), [&](HMODULE module) {
        const BYTE* block;
        size_t total;
        if (!FindBlock(module, &block, &total)) return false;
        size = DWORD(BufferSize(total));
        return true;
    });
    return size;
}

BOOL WINAPI GetFileVersionInfoW(LPCWSTR fileName, DWORD, DWORD length, LPVOID data)
{
    if (!fileName || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool ok = WithModuleAtPath(ToNativePath(fileName), [&](HMODULE module) {
        const BYTE* block;
        size_t total;
        if (!FindBlock(module, &block, &total)) return false;
        // A buffer too small would hold a block whose lengths point past its end, which
        // VerQueryValueW (it takes no length) would then read; it is refused instead.
        if (length < BufferSize(total)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return false;
        }
        auto* out = static_cast<BYTE*>(data);
        std::memset(out, 0, BufferSize(total));
        std::memcpy(out, block, total);
        std::memcpy(out + MarkerOffset(total), kWideMarker, sizeof kWideMarker);
        FillWideArea(out, total);
        return true;
    });
    return ok ? TRUE : FALSE;
}

BOOL WINAPI VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length)
{
    if (!block || !subBlock || !buffer || !length) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto* bytes = static_cast<const BYTE*>(block);
    size_t total = Read16(bytes);
    Node node;
    if (!ParseRoot(bytes, total, &node)) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    std::vector<std::wstring> path;
    for (const wchar_t* p = subBlock; *p;) {
        const wchar_t* next = std::wcschr(p, L'\\');
        if (!next) next = p + std::wcslen(p);
        if (next != p) path.emplace_back(p, next);
        p = *next ? next + 1 : next;
    }
    for (const std::wstring& key : path) {
        bool found = ForEachChild(bytes, node, [&](const Node& child) {
            if (!KeyIs(bytes, child, key)) return false;
            node = child;
            return true;
        });
        if (!found) {
            SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
            return FALSE;
        }
    }
    if (path.empty()) {
        if (node.valueBytes < sizeof(VS_FIXEDFILEINFO)) {
            SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
            return FALSE;
        }
        *buffer = const_cast<BYTE*>(bytes + node.valueOffset);
        *length = UINT(node.valueBytes);
        return TRUE;
    }
    if (node.type != 1) {
        *buffer = const_cast<BYTE*>(bytes + node.valueOffset);
        *length = UINT(node.valueBytes);
        return TRUE;
    }
    if (IsEmbeddedResourceData(bytes, total) ||
        std::memcmp(bytes + MarkerOffset(total), kWideMarker, sizeof kWideMarker) != 0) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    auto* text = const_cast<BYTE*>(bytes + WideOffset(total) + 2 * node.valueOffset);
    size_t characters = 0;
    if (node.valueBytes >= 2) {
        // The copy ends with a zero within units + 1 characters (FillWideArea's bound).
        wchar_t c;
        do {
            std::memcpy(&c, text + characters * sizeof c, sizeof c);
            ++characters;
        } while (c != 0 && characters <= node.valueBytes / 2);
    }
    *buffer = text;
    *length = UINT(characters);
    return TRUE;
}
