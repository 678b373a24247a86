// resgen: writes the viewer program's binary resources at build time, in the byte layout that
// Windows keeps in a module, from the readable sources beside it.
//
//   resgen accelerators <accelerators.txt> <out.bin>   RT_ACCELERATOR entries
//   resgen strings <strings.txt> <outdir>              RT_STRING blocks, one file per block:
//                                                      <outdir>/strings_<block>.bin
//   resgen icon <outdir>                               RT_ICON 1 (32 x 32) and 2 (16 x 16) as
//                                                      32-bit bitmaps, RT_GROUP_ICON in
//                                                      <outdir>/icon_32.bin, icon_16.bin,
//                                                      icon_group.bin
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Bytes {
    std::vector<uint8_t> data;
    void U8(unsigned v) { data.push_back(uint8_t(v)); }
    void U16(unsigned v)
    {
        U8(v & 0xFF);
        U8((v >> 8) & 0xFF);
    }
    void U32(uint32_t v)
    {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Write(const std::string& path) const
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        if (!out)
            throw std::runtime_error("cannot write " + path);
    }
};

std::vector<std::string> Lines(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        lines.push_back(line);
    }
    return lines;
}

unsigned VirtualKey(const std::string& name)
{
    static const std::map<std::string, unsigned> keys = {
        {"SPACE", 0x20}, {"RETURN", 0x0D}, {"DELETE", 0x2E}, {"F1", 0x70},
        {"UP", 0x26},    {"DOWN", 0x28},   {"ESCAPE", 0x1B},
    };
    if (name.size() == 1 && ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= '0' && name[0] <= '9')))
        return unsigned(name[0]);
    auto it = keys.find(name);
    if (it == keys.end())
        throw std::runtime_error("unknown key " + name);
    return it->second;
}

void Accelerators(const std::string& source, const std::string& out)
{
    struct Entry {
        unsigned flags, key, command;
    };
    std::vector<Entry> entries;
    for (const std::string& line : Lines(source)) {
        std::istringstream fields(line);
        unsigned command = 0;
        std::string modifiers, key;
        if (!(fields >> command >> modifiers >> key))
            throw std::runtime_error("bad accelerator line: " + line);
        unsigned flags = 0x01;  // FVIRTKEY
        if (modifiers.find("SHIFT") != std::string::npos)
            flags |= 0x04;
        if (modifiers.find("CTRL") != std::string::npos)
            flags |= 0x08;
        if (modifiers.find("ALT") != std::string::npos)
            flags |= 0x10;
        entries.push_back({flags, VirtualKey(key), command});
    }
    if (entries.empty())
        throw std::runtime_error("no accelerators in " + source);
    entries.back().flags |= 0x80;  // the last entry
    Bytes b;
    for (const Entry& e : entries) {
        b.U16(e.flags);
        b.U16(e.key);
        b.U16(e.command);
        b.U16(0);
    }
    b.Write(out);
}

// UTF-8 to UTF-16 code units.
std::u16string Utf16(const std::string& text)
{
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = text[i];
        uint32_t cp;
        int n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c >> 5) == 6) {
            cp = c & 0x1F;
            n = 2;
        } else if ((c >> 4) == 14) {
            cp = c & 0x0F;
            n = 3;
        } else {
            cp = c & 0x07;
            n = 4;
        }
        for (int k = 1; k < n && i + size_t(k) < text.size(); ++k)
            cp = (cp << 6) | (uint8_t(text[i + size_t(k)]) & 0x3F);
        i += size_t(n);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

void Strings(const std::string& source, const std::string& outdir)
{
    std::map<unsigned, std::map<unsigned, std::u16string>> blocks;  // block -> index -> text
    for (const std::string& line : Lines(source)) {
        size_t quote = line.find('"');
        size_t end = line.rfind('"');
        if (quote == std::string::npos || end <= quote)
            throw std::runtime_error("bad string line: " + line);
        unsigned id = unsigned(std::stoul(line.substr(0, quote)));
        blocks[id / 16 + 1][id % 16] = Utf16(line.substr(quote + 1, end - quote - 1));
    }
    for (const auto& [block, texts] : blocks) {
        Bytes b;
        for (unsigned i = 0; i < 16; ++i) {
            auto it = texts.find(i);
            if (it == texts.end()) {
                b.U16(0);
                continue;
            }
            b.U16(unsigned(it->second.size()));
            for (char16_t c : it->second)
                b.U16(c);
        }
        b.Write(outdir + "/strings_" + std::to_string(block) + ".bin");
    }
}

// The program's icon: a dark rounded square with a blue camera lens.
Bytes IconBitmap(int size)
{
    Bytes b;
    b.U32(40);
    b.U32(uint32_t(size));
    b.U32(uint32_t(size * 2));
    b.U16(1);
    b.U16(32);
    b.U32(0);
    b.U32(uint32_t(size * size * 4 + ((size + 31) / 32) * 4 * size));
    b.U32(0);
    b.U32(0);
    b.U32(0);
    b.U32(0);
    const double c = (size - 1) / 2.0;
    const double corner = size * 0.2;
    for (int row = size - 1; row >= 0; --row) {  // bottom-up
        for (int x = 0; x < size; ++x) {
            const double dx = std::fabs(x - c) - (c - corner);
            const double dy = std::fabs(row - c) - (c - corner);
            const double outside = std::hypot(std::max(dx, 0.0), std::max(dy, 0.0)) - corner;
            const double r = std::hypot(x - c, row - c);
            uint8_t red = 0x22, green = 0x25, blue = 0x27, alpha = 0;
            if (outside <= 0) {
                alpha = 255;
                if (r < size * 0.34) {
                    red = 108;
                    green = 180;
                    blue = 235;
                }
                if (r < size * 0.2) {
                    red = 0x16;
                    green = 0x2C;
                    blue = 0x44;
                }
                if (r < size * 0.08) {
                    red = 0xEB;
                    green = 0xF4;
                    blue = 0xFB;
                }
            }
            b.U8(blue);
            b.U8(green);
            b.U8(red);
            b.U8(alpha);
        }
    }
    // The AND mask: every pixel drawn from the colour bitmap's alpha.
    const int stride = ((size + 31) / 32) * 4;
    for (int i = 0; i < stride * size; ++i)
        b.U8(0);
    return b;
}

void Icon(const std::string& outdir)
{
    Bytes big = IconBitmap(32), small = IconBitmap(16);
    big.Write(outdir + "/icon_32.bin");
    small.Write(outdir + "/icon_16.bin");
    Bytes group;
    group.U16(0);
    group.U16(1);
    group.U16(2);
    const struct {
        int size;
        const Bytes* bitmap;
        unsigned id;
    } entries[] = {{32, &big, 1}, {16, &small, 2}};
    for (const auto& e : entries) {
        group.U8(unsigned(e.size));
        group.U8(unsigned(e.size));
        group.U8(0);
        group.U8(0);
        group.U16(1);
        group.U16(32);
        group.U32(uint32_t(e.bitmap->data.size()));
        group.U16(e.id);
    }
    group.Write(outdir + "/icon_group.bin");
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const std::string command = argc > 1 ? argv[1] : "";
        if (command == "accelerators" && argc == 4)
            Accelerators(argv[2], argv[3]);
        else if (command == "strings" && argc == 4)
            Strings(argv[2], argv[3]);
        else if (command == "icon" && argc == 3)
            Icon(argv[2]);
        else
            throw std::runtime_error("usage: resgen accelerators|strings|icon ...");
    } catch (const std::exception& e) {
        std::cerr << "resgen: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
