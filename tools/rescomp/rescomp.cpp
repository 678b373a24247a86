// rescomp: turns a resource manifest into a C++ source that embeds the listed files and
// registers them as the module's resource table (see cmake/KvResources.cmake, which writes the
// manifest and runs this program at build time).
//
//   rescomp <manifest> <output.cpp>
//
// The manifest is UTF-8 text, one record a line, fields separated by tabs; a backslash escapes
// a tab (\t), a line feed (\n) or itself (\\) inside a field:
//
//   tag <identifier>                 names the generated symbols; unique within the module
//   filetype app|dll                 the module's kind, for the version block
//   resource <type> <name> <file>    one file embedded as it is
//   version <a[.b[.c[.d]]]>          a version block (RT_VERSION, id 1)
//   string <key> <value>             a pair of the version block's string table
//
// A type or name written as a decimal number (or "#" and a number) is that number, 1 to 65535;
// any other text is a string name. File bytes are embedded with the assembler's .incbin, so a
// module of a few hundred pictures builds as fast as the files can be read. The output is
// always rewritten, so that the build system sees it change whenever an input did.
//
// Exit status: 0 on success, 1 with a message on standard error for any fault in the manifest
// or a file that cannot be read; no output is left behind then.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A resource type or name: a number when text is empty.
struct Id {
    std::u32string text;
    unsigned number = 0;
};

struct Resource {
    Id type;
    Id name;
    std::string file;             // embedded with .incbin when bytes is empty
    std::vector<uint8_t> bytes;   // generated content (the version block)
    bool generated = false;
    uint64_t size = 0;
};

struct Manifest {
    std::string tag;
    bool library = false;
    std::vector<Resource> resources;
    bool hasVersion = false;
    unsigned version[4] = {0, 0, 0, 0};
    std::string versionText;
    std::vector<std::pair<std::u32string, std::u32string>> strings;
};

std::u32string DecodeUtf8(const std::string& text, const std::string& what)
{
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        auto byte = static_cast<unsigned char>(text[i]);
        unsigned count = 0;  // continuation bytes after the lead byte
        if (byte >= 0x80) {
            if ((byte & 0xE0) == 0xC0) {
                count = 1;
            } else if ((byte & 0xF0) == 0xE0) {
                count = 2;
            } else if ((byte & 0xF8) == 0xF0) {
                count = 3;
            } else {
                throw Failure(what + " is not UTF-8");
            }
        }
        if (text.size() - i - 1 < count) throw Failure(what + " is not UTF-8");
        char32_t c = count == 0 ? byte : byte & (0x7F >> (count + 1));
        for (unsigned k = 1; k <= count; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) throw Failure(what + " is not UTF-8");
            c = (c << 6) | (next & 0x3F);
        }
        static const char32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
        if (c < kMinimum[count] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            throw Failure(what + " is not UTF-8");
        }
        out.push_back(c);
        i += count + 1;
    }
    return out;
}

std::u16string ToUtf16(const std::u32string& text)
{
    std::u16string out;
    for (char32_t c : text) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(char16_t(0xD800 + (c >> 10)));
            out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(char16_t(c));
        }
    }
    return out;
}

// Splits one manifest line into its fields, undoing the escapes.
std::vector<std::string> Fields(const std::string& line, size_t lineNumber)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\') {
            if (++i == line.size()) throw Failure("line " + std::to_string(lineNumber) + ": lone backslash");
            char e = line[i];
            fields.back().push_back(e == 't' ? '\t' : e == 'n' ? '\n' : e);
            if (e != 't' && e != 'n' && e != '\\') {
                throw Failure("line " + std::to_string(lineNumber) + ": unknown escape");
            }
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

bool ParseNumber(const std::string& text, unsigned limit, unsigned* value)
{
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + unsigned(c - '0');
    }
    if (v > limit) return false;
    *value = unsigned(v);
    return true;
}

Id ParseId(const std::string& text, const std::string& what)
{
    if (text.empty()) throw Failure(what + " is empty");
    std::string digits = text[0] == '#' ? text.substr(1) : text;
    bool numeric = !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
    Id id;
    if (numeric) {
        if (!ParseNumber(digits, 0xFFFF, &id.number) || id.number == 0) {
            throw Failure(what + " \"" + text + "\" is not a number from 1 to 65535");
        }
        return id;
    }
    if (text[0] == '#') throw Failure(what + " \"" + text + "\": \"#\" must be followed by a number");
    id.text = DecodeUtf8(text, what + " \"" + text + "\"");
    return id;
}

// The identity FindResourceW compares: numbers by value, strings without regard to case.
std::u32string KeyOf(const Id& id)
{
    if (id.text.empty()) return U"#" + std::u32string(1, char32_t(id.number));
    std::u32string key = id.text;
    for (char32_t& c : key) {
        if (c >= U'a' && c <= U'z') c = c - U'a' + U'A';
    }
    return key;
}

Manifest ReadManifest(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure("cannot read the manifest " + path);
    Manifest manifest;
    std::string line;
    size_t lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (line.empty()) continue;
        std::vector<std::string> f = Fields(line, lineNumber);
        auto expect = [&](size_t count) {
            if (f.size() != count) {
                throw Failure("line " + std::to_string(lineNumber) + ": \"" + f[0] + "\" takes " +
                              std::to_string(count - 1) + " fields");
            }
        };
        if (f[0] == "tag") {
            expect(2);
            if (f[1].empty() || f[1].find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOP"
                                                       "QRSTUVWXYZ0123456789_") != std::string::npos) {
                throw Failure("the tag must be letters, digits and underscores");
            }
            manifest.tag = f[1];
        } else if (f[0] == "filetype") {
            expect(2);
            if (f[1] != "app" && f[1] != "dll") throw Failure("filetype is app or dll");
            manifest.library = f[1] == "dll";
        } else if (f[0] == "resource") {
            expect(4);
            Resource r;
            r.type = ParseId(f[1], "resource type");
            r.name = ParseId(f[2], "resource name");
            r.file = f[3];
            if (r.file.empty()) throw Failure("line " + std::to_string(lineNumber) + ": no file");
            manifest.resources.push_back(std::move(r));
        } else if (f[0] == "version") {
            expect(2);
            if (manifest.hasVersion) throw Failure("more than one version block");
            manifest.hasVersion = true;
            manifest.versionText = f[1];
            std::stringstream parts(f[1]);
            std::string part;
            int count = 0;
            while (std::getline(parts, part, '.')) {
                if (count == 4 || !ParseNumber(part, 0xFFFF, &manifest.version[count])) {
                    throw Failure("version \"" + f[1] + "\" is not a.b.c.d with numbers to 65535");
                }
                ++count;
            }
            if (count == 0 || f[1].back() == '.') {
                throw Failure("version \"" + f[1] + "\" is not a.b.c.d with numbers to 65535");
            }
        } else if (f[0] == "string") {
            expect(3);
            if (f[1].empty()) throw Failure("a version string needs a key");
            manifest.strings.emplace_back(DecodeUtf8(f[1], "version key"),
                                          DecodeUtf8(f[2], "version string " + f[1]));
        } else {
            throw Failure("line " + std::to_string(lineNumber) + ": unknown record \"" + f[0] + "\"");
        }
    }
    if (manifest.tag.empty()) throw Failure("the manifest has no tag");
    if (!manifest.strings.empty() && !manifest.hasVersion) {
        throw Failure("version strings without a version");
    }
    return manifest;
}

// Builds a VS_VERSIONINFO block: nodes of wLength, wValueLength, wType, a UTF-16 key and a
// value, with keys, values and children on 32-bit boundaries from the block's start.
class BlockWriter {
public:
    void Word(unsigned v)
    {
        m_bytes.push_back(uint8_t(v & 0xFF));
        m_bytes.push_back(uint8_t((v >> 8) & 0xFF));
    }
    void Dword(uint32_t v)
    {
        Word(v & 0xFFFF);
        Word(v >> 16);
    }
    void Text(const std::u16string& text)
    {
        for (char16_t c : text) Word(c);
        Word(0);
    }
    void Align()
    {
        while (m_bytes.size() % 4) m_bytes.push_back(0);
    }
    // Writes a node's header and key; the caller writes the value and children, then End.
    size_t Begin(const std::u16string& key, unsigned valueLength, unsigned type)
    {
        Align();
        size_t start = m_bytes.size();
        Word(0);
        Word(valueLength);
        Word(type);
        Text(key);
        Align();
        return start;
    }
    void End(size_t start)
    {
        size_t length = m_bytes.size() - start;
        if (length > 0xFFFF) throw Failure("the version block is larger than 65535 bytes");
        m_bytes[start] = uint8_t(length & 0xFF);
        m_bytes[start + 1] = uint8_t(length >> 8);
    }
    std::vector<uint8_t> Take() { return std::move(m_bytes); }

private:
    std::vector<uint8_t> m_bytes;
};

std::vector<uint8_t> VersionBlock(const Manifest& m)
{
    std::vector<std::pair<std::u32string, std::u32string>> strings = m.strings;
    std::u32string versionText(m.versionText.begin(), m.versionText.end());
    for (const char32_t* key : {U"FileVersion", U"ProductVersion"}) {
        bool present = false;
        for (auto& [k, v] : strings) present = present || k == key;
        if (!present) strings.emplace_back(key, versionText);
    }
    uint32_t ms = (m.version[0] << 16) | m.version[1];
    uint32_t ls = (m.version[2] << 16) | m.version[3];

    BlockWriter w;
    size_t root = w.Begin(u"VS_VERSION_INFO", 52, 0);
    w.Dword(0xFEEF04BD);        // signature
    w.Dword(0x00010000);        // structure version 1.0
    w.Dword(ms);                // file version
    w.Dword(ls);
    w.Dword(ms);                // product version
    w.Dword(ls);
    w.Dword(0x3F);              // every defined file flag is meaningful
    w.Dword(0);                 // and none is set
    w.Dword(0x00040004);        // 32-bit Windows NT
    w.Dword(m.library ? 2 : 1); // a library or an application
    w.Dword(0);                 // no subtype
    w.Dword(0);                 // no date
    w.Dword(0);

    size_t stringInfo = w.Begin(u"StringFileInfo", 0, 1);
    size_t table = w.Begin(u"040904b0", 0, 1);
    for (auto& [key, value] : strings) {
        std::u16string text = ToUtf16(value);
        size_t node = w.Begin(ToUtf16(key), unsigned(text.size() + 1), 1);
        w.Text(text);
        w.End(node);
    }
    w.End(table);
    w.End(stringInfo);

    size_t varInfo = w.Begin(u"VarFileInfo", 0, 1);
    size_t translation = w.Begin(u"Translation", 4, 0);
    w.Word(0x0409);  // U.S. English
    w.Word(0x04B0);  // Unicode
    w.End(translation);
    w.End(varInfo);
    w.End(root);
    return w.Take();
}

// A C++ wide string literal.
std::string WideLiteral(const std::u32string& text)
{
    std::string out = "L\"";
    for (char32_t c : text) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?') {
            out.push_back(char(c));
        } else {
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\U%08X", unsigned(c));
            out += escape;
        }
    }
    return out + "\"";
}

// A string for the assembler: quotes and backslashes escaped, every other byte as it is.
std::string AssemblerString(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

std::string Generate(const Manifest& manifest, const std::string& manifestPath)
{
    const std::string prefix = "kvres_" + manifest.tag + "_";
    std::ostringstream asmText;
    asmText << "\t.pushsection .rodata.kvres,\"a\"\n";
    for (size_t i = 0; i < manifest.resources.size(); ++i) {
        const Resource& r = manifest.resources[i];
        std::string symbol = prefix + std::to_string(i);
        asmText << "\t.balign 16\n\t.globl " << symbol << "\n\t.hidden " << symbol << "\n"
                << symbol << ":\n";
        if (r.generated) {
            for (size_t k = 0; k < r.bytes.size(); k += 16) {
                asmText << "\t.byte ";
                for (size_t j = k; j < std::min(k + 16, r.bytes.size()); ++j) {
                    asmText << (j > k ? "," : "") << unsigned(r.bytes[j]);
                }
                asmText << "\n";
            }
        } else if (r.size > 0) {
            // The explicit count makes the build fail, rather than embed something else, if the
            // file changed size after it was measured.
            asmText << "\t.incbin " << AssemblerString(r.file) << ",0," << r.size << "\n";
        }
    }
    asmText << "\t.popsection\n";
    std::string body = asmText.str();
    const std::string delimiter = "kvres";
    if (body.find(")" + delimiter + "\"") != std::string::npos) {
        throw Failure("a file path contains \")kvres\"\"");
    }

    std::ostringstream out;
    out << "// Generated by rescomp from " << manifestPath << "; do not edit.\n"
        << "#include \"kernel/module.h\"\n\n"
        << "__asm__(R\"" << delimiter << "(\n" << body << ")" << delimiter << "\");\n\n";
    if (!manifest.resources.empty()) {
        out << "extern \"C\" {\n";
        for (size_t i = 0; i < manifest.resources.size(); ++i) {
            out << "__attribute__((visibility(\"hidden\"))) extern const BYTE " << prefix << i
                << "[];\n";
        }
        out << "}\n\n";
    }
    out << "namespace {\n\n";
    out << "const platform::ResourceEntry kEntries[] = {\n";
    for (size_t i = 0; i < manifest.resources.size(); ++i) {
        const Resource& r = manifest.resources[i];
        out << "    {" << (r.type.text.empty() ? "nullptr" : WideLiteral(r.type.text)) << ", "
            << (r.name.text.empty() ? "nullptr" : WideLiteral(r.name.text)) << ", "
            << r.type.number << ", " << r.name.number << ", " << r.size << "u, " << prefix << i
            << "},\n";
    }
    if (manifest.resources.empty()) out << "    {nullptr, nullptr, 0, 0, 0u, nullptr},\n";
    out << "};\n\n"
        << "const platform::ResourceTable kTable = {kEntries, " << manifest.resources.size()
        << "u};\n\n"
        << "// Registers the table while the module loads and withdraws it while it unloads.\n"
        << "struct Registration {\n"
        << "    Registration() { platform::RegisterResourceTable(&kTable); }\n"
        << "    ~Registration() { platform::UnregisterResourceTable(&kTable); }\n"
        << "};\n"
        << "const Registration g_registration;\n\n"
        << "}  // namespace\n";
    return out.str();
}

void Run(const std::string& manifestPath, const std::string& outputPath)
{
    Manifest manifest = ReadManifest(manifestPath);
    for (Resource& r : manifest.resources) {
        struct stat info;
        if (stat(r.file.c_str(), &info) != 0) {
            throw Failure("cannot read " + r.file + ": " + std::strerror(errno));
        }
        if (!S_ISREG(info.st_mode)) throw Failure(r.file + " is not a file");
        if (uint64_t(info.st_size) > 0xFFFFFFFFu) throw Failure(r.file + " is larger than 4 GiB");
        std::ifstream probe(r.file, std::ios::binary);
        if (!probe) throw Failure("cannot read " + r.file);
        r.size = uint64_t(info.st_size);
    }
    if (manifest.hasVersion) {
        Resource version;
        version.type.number = 16;  // RT_VERSION
        version.name.number = 1;   // VS_VERSION_INFO
        version.bytes = VersionBlock(manifest);
        version.generated = true;
        version.size = version.bytes.size();
        manifest.resources.push_back(std::move(version));
    }
    std::map<std::pair<std::u32string, std::u32string>, size_t> seen;
    for (size_t i = 0; i < manifest.resources.size(); ++i) {
        const Resource& r = manifest.resources[i];
        if (!seen.emplace(std::make_pair(KeyOf(r.type), KeyOf(r.name)), i).second) {
            throw Failure("resource " + std::to_string(i + 1) +
                          " repeats the type and name of an earlier one");
        }
    }

    std::string text = Generate(manifest, manifestPath);
    std::string temporary = outputPath + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            throw Failure("cannot write " + temporary);
        }
    }
    if (std::rename(temporary.c_str(), outputPath.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw Failure("cannot write " + outputPath + ": " + std::strerror(errno));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: rescomp <manifest> <output.cpp>\n");
        return 1;
    }
    try {
        Run(argv[1], argv[2]);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "rescomp: %s: %s\n", argv[1], failure.what());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "rescomp: %s: %s\n", argv[1], error.what());
        return 1;
    }
    return 0;
}
