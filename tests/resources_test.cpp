// The file carries what Windows will show: Tavrolinde.exe, opened as a data file,
// holds its dialog template, icons, version block and manifest, all in Japanese
// (0x0411), and its PE header makes it a GUI program of the build's bits. The version
// block and the manifest are read through the system's own readers, as Explorer and the
// loader read them. Expected values
// are literals, never taken from resource.h or the resource script. What it imports is
// checked in scripts/check-program.sh.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/support.h"

namespace {

const WORD kJapanese = 0x0411; // MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)

// The processor the manifest names: X86 as Tavrolinde ships, amd64 in the x86-64 build.
constexpr const char *MANIFEST_ARCH = BUILD_BITS == 64 ? "amd64" : "X86";

// A read position over little-endian bytes. Reading past the end yields zeros and
// clears `good`; alignment is relative to the start of the bytes (a resource's start).
struct Cursor {
    const BYTE *data;
    size_t size;
    size_t pos = 0;
    bool good = true;

    explicit Cursor(const std::vector<BYTE> &bytes) : data(bytes.data()), size(bytes.size())
    {
    }

    template <class T> T get()
    {
        T value{};
        if (pos > size || size - pos < sizeof(T)) {
            good = false;
            pos = size;
            return value;
        }
        std::memcpy(&value, data + pos, sizeof(T));
        pos += sizeof(T);
        return value;
    }
    BYTE byte()
    {
        return get<BYTE>();
    }
    WORD word()
    {
        return get<WORD>();
    }
    DWORD dword()
    {
        return get<DWORD>();
    }
    int coord()
    {
        return static_cast<SHORT>(get<WORD>());
    }
    Cursor &at(size_t offset)
    {
        pos = offset;
        return *this;
    }
    void align(size_t n)
    {
        pos = (pos + n - 1) / n * n;
    }

    // A NUL-terminated string: UTF-16 of WCHARs, or 8-bit of chars.
    template <class Char> std::basic_string<Char> text()
    {
        std::basic_string<Char> text;
        while (Char c = get<Char>())
            text += c;
        return text;
    }
};

// The "sz_Or_Ord" of dialog templates: nothing (an empty name), an ordinal or a name.
struct NameOrId {
    bool isId = false;
    WORD id = 0;
    std::wstring name;
};

NameOrId nameOrId(Cursor &c)
{
    NameOrId result;
    const size_t start = c.pos;
    if (c.word() == 0xFFFF) {
        result.isId = true;
        result.id = c.word();
    } else {
        c.at(start);
        result.name = c.text<WCHAR>();
    }
    return result;
}

// The text with its ASCII capitals in lower case, 8-bit or UTF-16.
template <class Text> Text lowerAscii(Text text)
{
    for (auto &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<typename Text::value_type>(c - 'A' + 'a');
    return text;
}

// UTF-16 text as 8-bit text, each character past ASCII as '?'.
std::string ascii(const std::wstring &text)
{
    std::string result;
    for (const wchar_t c : text)
        result += c < 0x80 ? static_cast<char>(c) : '?';
    return result;
}

// The keys of the version block's nodes from the cursor to `end`, depth first, each
// indented by a space a level; `good` is cleared where a node runs past its end.
void versionKeys(Cursor &c, size_t end, const std::string &indent, std::vector<std::string> &keys)
{
    for (c.align(4); c.good && c.pos < end; c.align(4)) {
        const size_t next = c.pos + c.word();
        const WORD valueLength = c.word();
        const bool isText = c.word() == 1; // a text value counts WCHARs, a binary one bytes
        keys.push_back(indent + ascii(c.text<WCHAR>()));
        c.align(4);
        c.pos += isText ? valueLength * sizeof(WCHAR) : valueLength;
        if (c.pos > next || next > end) {
            c.good = false;
            return;
        }
        versionKeys(c, next, indent + " ", keys);
        c.at(next);
    }
}

// The last group of the first match of `pattern` in `text`, or "<missing>".
std::string match(const std::string &text, const std::string &pattern)
{
    std::smatch found;
    if (!std::regex_search(text, found, std::regex(pattern)))
        return "<missing>";
    return found[found.size() - 1].str();
}

// The value of attribute `name` in an XML start tag, or in an assembly identity as the
// system encodes it: name,attribute="value",...
std::string attribute(const std::string &text, const std::string &name)
{
    return match(text, "[\\s,]" + name + "=([\"'])(.*?)\\1");
}

std::vector<BYTE> readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(file),
                             std::istreambuf_iterator<char>());
}

class ExecutableResources : public ::testing::Test {
  protected:
    void SetUp() override
    {
        module_ = LoadLibraryExA(exePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr) << exePath() << " could not be opened as a data file";
    }
    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
    }

    static std::string exePath()
    {
        return BinPath("Tavrolinde.exe");
    }

    // A copy of the resource's bytes in Japanese (0x0411), or nothing if there is none.
    // FindResourceExA falls back to other languages, so the languages are enumerated too:
    // the resource must exist in Japanese only.
    std::vector<BYTE> resource(LPCSTR type, WORD id) const
    {
        std::vector<WORD> languages;
        EnumResourceLanguagesA(module_, type, MAKEINTRESOURCEA(id), collectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(languages, std::vector<WORD>{kJapanese})
            << "languages of resource type " << reinterpret_cast<ULONG_PTR>(type) << ", id " << id;
        HRSRC found = FindResourceExA(module_, type, MAKEINTRESOURCEA(id), kJapanese);
        if (!found)
            return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const BYTE *bytes = static_cast<const BYTE *>(LockResource(loaded));
        if (!bytes)
            return {};
        return std::vector<BYTE>(bytes, bytes + SizeofResource(module_, found));
    }

    static BOOL CALLBACK collectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR languages)
    {
        reinterpret_cast<std::vector<WORD> *>(languages)->push_back(language);
        return TRUE;
    }

    HMODULE module_ = nullptr;
};

TEST_F(ExecutableResources, DialogTemplateHasTheFrameFontAndSixControlsInTabOrder)
{
    const std::vector<BYTE> bytes = resource(RT_DIALOG, 101);
    ASSERT_FALSE(bytes.empty()) << "no RT_DIALOG 101 in language 0x0411";
    Cursor c(bytes);

    EXPECT_EQ(c.word(), 1u) << "dlgVer";
    EXPECT_EQ(c.word(), 0xFFFFu) << "signature: an extended template";
    EXPECT_EQ(c.dword(), 0u) << "helpID";
    EXPECT_EQ(c.dword(), 0u) << "exStyle";
    EXPECT_EQ(c.dword(), 0x80C808C0u) << "style";
    const WORD itemCount = c.word();
    EXPECT_EQ(itemCount, 6u);
    EXPECT_EQ(c.coord(), 0);
    EXPECT_EQ(c.coord(), 0);
    EXPECT_EQ(c.coord(), 317);
    EXPECT_EQ(c.coord(), 187);
    const NameOrId menu = nameOrId(c);
    EXPECT_TRUE(!menu.isId && menu.name.empty()) << "the dialog has no menu";
    const NameOrId windowClass = nameOrId(c);
    EXPECT_TRUE(!windowClass.isId && windowClass.name.empty())
        << "the dialog has the standard class";
    EXPECT_EQ(c.text<WCHAR>(), L"Tavrolinde");
    EXPECT_EQ(c.word(), 10u) << "font point size";
    EXPECT_EQ(c.word(), 400u) << "font weight";
    EXPECT_EQ(c.byte(), 0u) << "italic";
    EXPECT_EQ(c.byte(), 128u) << "charset SHIFTJIS_CHARSET";
    // "ＭＳ Ｐゴシック"
    EXPECT_EQ(c.text<WCHAR>(), L"\uFF2D\uFF33\u0020\uFF30\u30B4\u30B7\u30C3\u30AF");
    ASSERT_TRUE(c.good) << "the template's header runs past its end";

    struct Item {
        DWORD id;
        WORD classAtom;
        const char *className;
        const wchar_t *title;
        int x, y, cx, cy;
        DWORD style;
    };
    const Item expected[] = {
        {2, 0x0080, "button", L"\u7D42\u4E86(&X)", 260, 166, 50, 14, 0x50010000}, // 終了(&X)
        {1001, 0x0083, "listbox", L"", 7, 7, 303, 75, 0x50A10101},
        {1002, 0x0083, "listbox", L"", 7, 86, 303, 76, 0x50A10101},
        {1003, 0x0080, "button", L"\u81EA\u52D5\u9023\u6253(&P)", 7, 166, 63, 14,
         0x50011003}, // 自動連打(&P)
        {1004, 0x0080, "button", L"\u66F4\u65B0(&R)", 77, 166, 50, 14, 0x50010000}, // 更新(&R)
        {3, 0x0080, "button", L"\u60C5\u5831(&A)", 204, 166, 50, 14, 0x50010000},   // 情報(&A)
    };
    ASSERT_EQ(itemCount, std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const Item &item = expected[i];
        SCOPED_TRACE("control #" + std::to_string(i + 1) + ", id " + std::to_string(item.id));
        c.align(4);
        EXPECT_EQ(c.dword(), 0u) << "helpID";
        EXPECT_EQ(c.dword(), 0u) << "exStyle";
        EXPECT_EQ(c.dword(), item.style) << "style";
        EXPECT_EQ(c.coord(), item.x) << "x";
        EXPECT_EQ(c.coord(), item.y) << "y";
        EXPECT_EQ(c.coord(), item.cx) << "cx";
        EXPECT_EQ(c.coord(), item.cy) << "cy";
        EXPECT_EQ(c.dword(), item.id) << "id";
        const NameOrId cls = nameOrId(c);
        if (cls.isId) {
            EXPECT_EQ(cls.id, item.classAtom) << "predefined class ordinal";
        } else {
            EXPECT_EQ(lowerAscii(cls.name),
                      std::wstring(item.className, item.className + std::strlen(item.className)))
                << "class name";
        }
        const NameOrId title = nameOrId(c);
        EXPECT_FALSE(title.isId) << "the title is text, not a resource ordinal";
        EXPECT_EQ(title.name, item.title) << "title";
        EXPECT_EQ(c.word(), 0u) << "no creation data";
        ASSERT_TRUE(c.good) << "the template ends inside this control";
    }
}

TEST_F(ExecutableResources, IconGroupsHoldOneEightBitImageEachOf32And16Pixels)
{
    struct Group {
        WORD id;
        int pixels;
    };
    for (const Group group : {Group{5, 32}, Group{104, 16}}) {
        SCOPED_TRACE("RT_GROUP_ICON " + std::to_string(group.id));
        const std::vector<BYTE> dir = resource(RT_GROUP_ICON, group.id);
        ASSERT_FALSE(dir.empty()) << "no icon group in language 0x0411";
        Cursor c(dir);
        EXPECT_EQ(c.word(), 0u) << "idReserved";
        EXPECT_EQ(c.word(), 1u) << "idType: icons";
        EXPECT_EQ(c.word(), 1u) << "idCount: exactly one image";
        EXPECT_EQ(c.byte(), group.pixels) << "bWidth";
        EXPECT_EQ(c.byte(), group.pixels) << "bHeight";
        EXPECT_EQ(c.byte(), 0u) << "bColorCount (0 for 256 colours)";
        EXPECT_EQ(c.byte(), 0u) << "bReserved";
        EXPECT_EQ(c.word(), 1u) << "wPlanes";
        EXPECT_EQ(c.word(), 8u) << "wBitCount";
        const DWORD bytesInRes = c.dword();
        const WORD imageId = c.word();
        ASSERT_TRUE(c.good) << "the group directory is cut short";
        EXPECT_EQ(c.pos, dir.size()) << "nothing follows the one entry";

        const std::vector<BYTE> image = resource(RT_ICON, imageId);
        ASSERT_FALSE(image.empty()) << "no RT_ICON " << imageId << " in language 0x0411";
        EXPECT_EQ(image.size(), bytesInRes) << "dwBytesInRes";
        Cursor header(image);
        const BITMAPINFOHEADER info = header.get<BITMAPINFOHEADER>();
        ASSERT_TRUE(header.good);
        EXPECT_EQ(info.biSize, 40u) << "a BITMAPINFOHEADER image";
        EXPECT_EQ(info.biWidth, group.pixels);
        EXPECT_EQ(info.biHeight, 2 * group.pixels) << "colour and mask";
        EXPECT_EQ(info.biPlanes, 1u);
        EXPECT_EQ(info.biBitCount, 8u);
    }
}

TEST_F(ExecutableResources, VersionBlockNamesTavrolinde1000InJapanese)
{
    const std::vector<BYTE> bytes = resource(RT_VERSION, 1);
    ASSERT_FALSE(bytes.empty()) << "no RT_VERSION 1 in language 0x0411";

    // The block as Explorer's Properties page reads it. The A reader hands a text value
    // over in the code page and a binary one as it is: the fixed part keeps its size only
    // as a binary value, and a string reads right only as a text one.
    const std::string path = exePath();
    std::vector<BYTE> block(GetFileVersionInfoSizeA(path.c_str(), nullptr));
    ASSERT_FALSE(block.empty()) << "the system finds no version block";
    ASSERT_TRUE(
        GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    const auto value = [&block](const std::string &name) {
        void *data = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(block.data(), name.c_str(), &data, &length) || !data)
            return std::string("<missing>");
        return std::string(static_cast<const char *>(data), length);
    };

    const std::string fixedBytes = value("\\");
    ASSERT_EQ(fixedBytes.size(), sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, fixedBytes.data(), sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwFileVersionMS, 0x00010000u) << "file version 1.0";
    EXPECT_EQ(fixed.dwFileVersionLS, 0x00000000u) << "file version .0.0";
    EXPECT_EQ(fixed.dwProductVersionMS, 0x00010000u) << "product version 1.0";
    EXPECT_EQ(fixed.dwProductVersionLS, 0x00000000u) << "product version .0.0";
    EXPECT_EQ(fixed.dwFileFlagsMask, 0x17u);
    EXPECT_EQ(fixed.dwFileFlags, 0u);
    EXPECT_EQ(fixed.dwFileOS, 4u) << "VOS__WINDOWS32";
    EXPECT_EQ(fixed.dwFileType, 1u) << "VFT_APP";
    EXPECT_EQ(fixed.dwFileSubtype, 0u);
    EXPECT_EQ(fixed.dwFileDateMS, 0u);
    EXPECT_EQ(fixed.dwFileDateLS, 0u);
    EXPECT_EQ(value("\\VarFileInfo\\Translation"), std::string("\x11\x04\xB0\x04", 4))
        << "one language and code page pair: Japanese (0x0411), Unicode (0x04B0)";

    const std::pair<const char *, std::string> strings[] = {
        {"FileDescription", "Tavrolinde"},      {"FileVersion", "1, 0, 0, 0"},
        {"InternalName", "Tavrolinde"},         {"LegalCopyright", NOTICE},
        {"OriginalFilename", "Tavrolinde.exe"}, {"ProductName", "Tavrolinde"},
        {"ProductVersion", "1, 0, 0, 0"},
    };
    for (const auto &[key, expected] : strings) {
        std::string text = value(std::string("\\StringFileInfo\\041104b0\\") + key);
        if (!text.empty() && text.back() == '\0') // its length may count the NUL
            text.pop_back();
        EXPECT_EQ(text, expected) << key;
    }

    // The reader finds a node by its key, in any case, but cannot list them: these, in order.
    std::vector<std::string> outline = {"VS_VERSION_INFO", " StringFileInfo", "  041104b0"};
    for (const auto &string : strings)
        outline.push_back(std::string("   ") + string.first);
    outline.insert(outline.end(), {" VarFileInfo", "  Translation"});
    std::vector<std::string> keys;
    Cursor c(bytes);
    versionKeys(c, bytes.size(), "", keys);
    EXPECT_TRUE(c.good) << "a node of the version block runs past its end";
    EXPECT_EQ(keys, outline);
}

TEST_F(ExecutableResources, ManifestAsksForCommonControls6ForTavrolindeOnItsProcessor)
{
    const std::vector<BYTE> bytes = resource(RT_MANIFEST, 1);
    ASSERT_FALSE(bytes.empty()) << "no RT_MANIFEST 1 in language 0x0411";

    // The system reads it as it starts the program: it accepts it only with
    // manifestVersion 1.0 and the assembly it depends on found, and names its own assembly.
    const std::string path = exePath();
    ACTCTXA request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path.c_str();
    request.lpResourceName = MAKEINTRESOURCEA(1);
    const HANDLE context = CreateActCtxA(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << "the system rejects it, error " << GetLastError();
    DWORD index = 1; // the context's own assembly
    std::vector<BYTE> details(4096);
    const BOOL read =
        QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext,
                     details.data(), details.size(), nullptr);
    const auto &own =
        *reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION *>(details.data());
    ReleaseActCtx(context);
    ASSERT_TRUE(read) << "no identity of its own, error " << GetLastError();
    // name,attribute="value",... with its length given: Windows is said not to end it with a NUL.
    const std::string identity = ascii({own.lpAssemblyEncodedAssemblyIdentity,
                                        own.ulEncodedAssemblyIdentityLength / sizeof(WCHAR)});
    EXPECT_EQ(identity.substr(0, identity.find(',')), "Tavrolinde") << identity;

    // What the system does not report: the text's encoding, declaration, namespace and
    // description, and the dependency as asked (it reports the assembly it binds instead).
    const std::string xml(bytes.begin(), bytes.end());
    EXPECT_EQ(xml.find('\0'), std::string::npos) << "UTF-8, not UTF-16";
    const std::string declaration = match(xml, "^(\xEF\xBB\xBF)?(<\\?xml\\s[^>]*>)");
    EXPECT_STRCASEEQ(attribute(declaration, "encoding").c_str(), "utf-8") << "declaration first";
    const std::string assembly = match(xml, "(<assembly\\s[^>]*>)");
    const std::string dependency =
        match(xml, "<dependency>\\s*<dependentAssembly>\\s*(<assemblyIdentity\\s[^>]*>)");
    EXPECT_EQ(match(xml, "<description>([^<]*)</description>"), "Description");

    const std::tuple<const std::string &, const char *, const char *> expected[] = {
        {declaration, "standalone", "yes"},
        {assembly, "xmlns", "urn:schemas-microsoft-com:asm.v1"},
        {assembly, "manifestVersion", "1.0"},
        {identity, "version", "1.0.0.0"},
        {identity, "processorArchitecture", MANIFEST_ARCH},
        {identity, "type", "win32"},
        {dependency, "type", "win32"},
        {dependency, "name", "Microsoft.Windows.Common-Controls"},
        {dependency, "version", "6.0.0.0"},
        {dependency, "processorArchitecture", MANIFEST_ARCH},
        {dependency, "publicKeyToken", "6595b64144ccf1df"},
        {dependency, "language", "*"}};
    for (const auto &[element, name, value] : expected)
        EXPECT_EQ(attribute(element, name), value) << name << " in " << element;
}

TEST_F(ExecutableResources, PeHeaderMakesAGuiProgramOfTheBuildsBits)
{
    const std::vector<BYTE> file = readFile(exePath());
    ASSERT_FALSE(file.empty()) << exePath() << " could not be read";
    Cursor c(file);

    const IMAGE_DOS_HEADER dos = c.get<IMAGE_DOS_HEADER>();
    ASSERT_EQ(dos.e_magic, 0x5A4Du) << "MZ";
    // The headers of this build's own bits: PE32 for i386 as Tavrolinde ships, PE32+ in
    // the x86-64 build.
    const IMAGE_NT_HEADERS nt = c.at(dos.e_lfanew).get<IMAGE_NT_HEADERS>();
    ASSERT_TRUE(c.good);
    ASSERT_EQ(nt.Signature, 0x00004550u) << "PE\\0\\0";
    EXPECT_EQ(nt.FileHeader.Machine,
              BUILD_BITS == 64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386)
        << (BUILD_BITS == 64 ? "x86-64" : "i386");
    ASSERT_EQ(nt.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR_MAGIC)
        << (BUILD_BITS == 64 ? "PE32+" : "PE32");
    EXPECT_EQ(nt.OptionalHeader.Subsystem, 2u) << "Windows GUI";
    EXPECT_EQ(nt.OptionalHeader.MajorSubsystemVersion, 4u);
    EXPECT_EQ(nt.OptionalHeader.MinorSubsystemVersion, 0u);
}

} // namespace
