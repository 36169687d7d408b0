// The file carries what Windows will show: Tavrolinde.exe, opened as a data file,
// holds its dialog template, icons, version block and manifest, all in Japanese
// (0x0411), and its PE header makes it a GUI program of the build's bits. The version
// block and the manifest are read through the system's own readers, as Explorer and the
// loader read them. Expected values are literals, never taken from resource.h or the
// resource script. What it imports is checked in scripts/check-program.sh.
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

// Numbers of a structure, compared as a row in the order of its fields.
using Fields = std::vector<long long>;

// A read position over little-endian bytes. Reading past the end clears `good`, and from
// then on yields zeros; alignment is relative to the start of the bytes (a resource's start).
struct Cursor {
    const std::vector<BYTE> &bytes;
    size_t pos = 0;
    bool good = true;

    template <class T> T get()
    {
        T value{};
        good = good && pos <= bytes.size() && bytes.size() - pos >= sizeof(T);
        if (good)
            std::memcpy(&value, bytes.data() + pos, sizeof(T));
        pos += sizeof(T);
        return value;
    }
    // Fields of these types, one after the other.
    template <class... T> Fields fields()
    {
        return {static_cast<long long>(get<T>())...};
    }
    void align(size_t n)
    {
        pos = (pos + n - 1) / n * n;
    }
    // A NUL-terminated UTF-16 string.
    std::wstring text()
    {
        std::wstring text;
        while (const WCHAR c = get<WCHAR>())
            text += c;
        return text;
    }
};

// A dialog template's sz_Or_Ord: an ordinal as its two words (0xFFFF, the ordinal), else
// the text, empty for none.
std::wstring nameOrId(Cursor &c)
{
    const size_t start = c.pos;
    if (c.get<WORD>() == 0xFFFF)
        return {0xFFFF, c.get<WCHAR>()};
    c.pos = start;
    return c.text();
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
        const size_t next = c.pos + c.get<WORD>();
        const WORD valueLength = c.get<WORD>();
        const bool isText = c.get<WORD>() == 1; // a text value counts WCHARs, a binary one bytes
        keys.push_back(indent + ascii(c.text()));
        c.align(4);
        c.pos += isText ? valueLength * sizeof(WCHAR) : valueLength;
        if (c.pos > next || next > end) {
            c.good = false;
            return;
        }
        versionKeys(c, next, indent + " ", keys);
        c.pos = next;
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

const std::string EXE = BinPath("Tavrolinde.exe");

BOOL CALLBACK collectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR languages)
{
    reinterpret_cast<std::vector<WORD> *>(languages)->push_back(language);
    return TRUE;
}

// A copy of the resource's bytes in Japanese (0x0411), or nothing if there is none.
// FindResourceExA falls back to other languages, so the languages are enumerated too:
// the resource must exist in Japanese only.
std::vector<BYTE> resource(LPCSTR type, WORD id)
{
    static const HMODULE module = LoadLibraryExA(EXE.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(module, nullptr) << EXE << " could not be opened as a data file";
    if (!module)
        return {};
    std::vector<WORD> languages;
    EnumResourceLanguagesA(module, type, MAKEINTRESOURCEA(id), collectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::vector<WORD>{kJapanese})
        << "languages of resource type " << reinterpret_cast<ULONG_PTR>(type) << ", id " << id;
    const HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id), kJapanese);
    const BYTE *bytes =
        found ? static_cast<const BYTE *>(LockResource(LoadResource(module, found))) : nullptr;
    return bytes ? std::vector<BYTE>(bytes, bytes + SizeofResource(module, found))
                 : std::vector<BYTE>();
}

TEST(ExecutableResources, DialogTemplateHasTheFrameFontAndSixControlsInTabOrder)
{
    const std::vector<BYTE> bytes = resource(RT_DIALOG, 101);
    ASSERT_FALSE(bytes.empty()) << "no RT_DIALOG 101 in language 0x0411";
    Cursor c{bytes};
    const Fields header =
        c.fields<WORD, WORD, DWORD, DWORD, DWORD, WORD, SHORT, SHORT, SHORT, SHORT>();
    EXPECT_EQ(header, (Fields{1, 0xFFFF, 0, 0, 0x80C808C0, 6, 0, 0, 317, 187}))
        << "dlgVer, signature (extended), helpID, exStyle, style, cDlgItems, x, y, cx, cy";
    EXPECT_EQ(nameOrId(c), L"") << "the dialog has no menu";
    EXPECT_EQ(nameOrId(c), L"") << "the dialog has the standard class";
    EXPECT_EQ(c.text(), L"Tavrolinde");
    EXPECT_EQ((c.fields<WORD, WORD, BYTE, BYTE>()), (Fields{10, 400, 0, 128}))
        << "font point size, weight, italic, charset SHIFTJIS_CHARSET";
    // "ＭＳ Ｐゴシック"
    EXPECT_EQ(c.text(), L"\uFF2D\uFF33\u0020\uFF30\u30B4\u30B7\u30C3\u30AF");
    ASSERT_TRUE(c.good) << "the template's header runs past its end";

    struct Item {
        DWORD id;
        WCHAR classAtom;
        const wchar_t *className;
        const wchar_t *title;
        SHORT x, y, cx, cy;
        DWORD style;
    };
    const Item expected[] = {
        {2, 0x0080, L"button", L"\u7D42\u4E86(&X)", 260, 166, 50, 14, 0x50010000}, // 終了(&X)
        {1001, 0x0083, L"listbox", L"", 7, 7, 303, 75, 0x50A10101},
        {1002, 0x0083, L"listbox", L"", 7, 86, 303, 76, 0x50A10101},
        {1003, 0x0080, L"button", L"\u81EA\u52D5\u9023\u6253(&P)", 7, 166, 63, 14,
         0x50011003}, // 自動連打(&P)
        {1004, 0x0080, L"button", L"\u66F4\u65B0(&R)", 77, 166, 50, 14, 0x50010000}, // 更新(&R)
        {3, 0x0080, L"button", L"\u60C5\u5831(&A)", 204, 166, 50, 14, 0x50010000},   // 情報(&A)
    };
    ASSERT_EQ(header[5], std::size(expected)) << "cDlgItems";
    for (size_t i = 0; i < std::size(expected); ++i) {
        const Item &item = expected[i];
        SCOPED_TRACE("control #" + std::to_string(i + 1) + ", id " + std::to_string(item.id));
        c.align(4);
        EXPECT_EQ((c.fields<DWORD, DWORD, DWORD, SHORT, SHORT, SHORT, SHORT, DWORD>()),
                  (Fields{0, 0, item.style, item.x, item.y, item.cx, item.cy, item.id}))
            << "helpID, exStyle, style, x, y, cx, cy, id";
        const std::wstring cls = nameOrId(c);
        EXPECT_TRUE(cls == std::wstring(1, 0xFFFF) + item.classAtom ||
                    _wcsicmp(cls.c_str(), item.className) == 0)
            << "class: the predefined class's ordinal or name";
        EXPECT_EQ(nameOrId(c), item.title) << "title, as text";
        EXPECT_EQ(c.get<WORD>(), 0u) << "no creation data";
        ASSERT_TRUE(c.good) << "the template ends inside this control";
    }
}

struct IconGroupRow {
    const char *name;
    WORD id;
    int pixels;
};

const IconGroupRow ICON_GROUPS[] = {{"Large", 5, 32}, {"Small", 104, 16}};

class IconGroup : public testing::TestWithParam<IconGroupRow> {};

TEST_P(IconGroup, HoldsOneEightBitImageOfItsSize)
{
    const int pixels = GetParam().pixels;
    const std::vector<BYTE> dir = resource(RT_GROUP_ICON, GetParam().id);
    ASSERT_FALSE(dir.empty()) << "no icon group in language 0x0411";
    Cursor c{dir};
    EXPECT_EQ((c.fields<WORD, WORD, WORD, BYTE, BYTE, BYTE, BYTE, WORD, WORD>()),
              (Fields{0, 1, 1, pixels, pixels, 0, 0, 1, 8}))
        << "idReserved, idType (icons), idCount (exactly one image), bWidth, bHeight, "
           "bColorCount (0 for 256 colours), bReserved, wPlanes, wBitCount";
    const DWORD bytesInRes = c.get<DWORD>();
    const WORD imageId = c.get<WORD>();
    ASSERT_TRUE(c.good) << "the group directory is cut short";
    EXPECT_EQ(c.pos, dir.size()) << "nothing follows the one entry";

    const std::vector<BYTE> image = resource(RT_ICON, imageId);
    ASSERT_FALSE(image.empty()) << "no RT_ICON " << imageId << " in language 0x0411";
    EXPECT_EQ(image.size(), bytesInRes) << "dwBytesInRes";
    Cursor header{image};
    EXPECT_EQ((header.fields<DWORD, LONG, LONG, WORD, WORD>()),
              (Fields{40, pixels, 2 * pixels, 1, 8}))
        << "a BITMAPINFOHEADER image: biSize, biWidth, biHeight (colour and mask), biPlanes, "
           "biBitCount";
}

INSTANTIATE_TEST_SUITE_P(ExecutableResources, IconGroup, testing::ValuesIn(ICON_GROUPS), ByName());

TEST(ExecutableResources, VersionBlockNamesTavrolinde1000InJapanese)
{
    const std::vector<BYTE> bytes = resource(RT_VERSION, 1);
    ASSERT_FALSE(bytes.empty()) << "no RT_VERSION 1 in language 0x0411";

    // The block as Explorer's Properties page reads it. The A reader hands a text value
    // over in the code page and a binary one as it is: the fixed part keeps its size only
    // as a binary value, and a string reads right only as a text one.
    std::vector<BYTE> block(GetFileVersionInfoSizeA(EXE.c_str(), nullptr));
    ASSERT_FALSE(block.empty()) << "the system finds no version block";
    ASSERT_TRUE(
        GetFileVersionInfoA(EXE.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    const auto value = [&block](const std::string &name) {
        void *data = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(block.data(), name.c_str(), &data, &length) || !data)
            return std::string("<missing>");
        return std::string(static_cast<const char *>(data), length);
    };

    const std::string fixedBytes = value("\\");
    ASSERT_EQ(fixedBytes.size(), sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO f;
    std::memcpy(&f, fixedBytes.data(), sizeof f);
    EXPECT_EQ((Fields{f.dwSignature, f.dwFileVersionMS, f.dwFileVersionLS, f.dwProductVersionMS,
                      f.dwProductVersionLS, f.dwFileFlagsMask, f.dwFileFlags, f.dwFileOS,
                      f.dwFileType, f.dwFileSubtype, f.dwFileDateMS, f.dwFileDateLS}),
              (Fields{0xFEEF04BD, 0x00010000, 0, 0x00010000, 0, 0x17, 0, 4, 1, 0, 0, 0}))
        << "signature, file version 1.0.0.0, product version 1.0.0.0, flags mask, flags, "
           "OS (VOS__WINDOWS32), type (VFT_APP), subtype, date";
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
    Cursor c{bytes};
    versionKeys(c, bytes.size(), "", keys);
    EXPECT_TRUE(c.good) << "a node of the version block runs past its end";
    EXPECT_EQ(keys, outline);
}

TEST(ExecutableResources, ManifestAsksForCommonControls6ForTavrolindeOnItsProcessor)
{
    const std::vector<BYTE> bytes = resource(RT_MANIFEST, 1);
    ASSERT_FALSE(bytes.empty()) << "no RT_MANIFEST 1 in language 0x0411";

    // The system reads it as it starts the program: it accepts it only with
    // manifestVersion 1.0 and the assembly it depends on found, and names its own assembly.
    ACTCTXA request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = EXE.c_str();
    request.lpResourceName = MAKEINTRESOURCEA(1);
    const HANDLE context = CreateActCtxA(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << "the system rejects it, error " << GetLastError();
    DWORD index = 1; // the context's own assembly
    // Room for the structure and the four strings it points to, each up to a path long.
    std::vector<BYTE> details(sizeof(ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION) +
                              4 * MAX_PATH * sizeof(WCHAR));
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

TEST(ExecutableResources, PeHeaderMakesAGuiProgramOfTheBuildsBits)
{
    std::ifstream in(EXE, std::ios::binary);
    const std::vector<BYTE> file{std::istreambuf_iterator<char>(in),
                                 std::istreambuf_iterator<char>()};
    Cursor c{file};
    const IMAGE_DOS_HEADER dos = c.get<IMAGE_DOS_HEADER>();
    c.pos = dos.e_lfanew;
    // Headers of this build's bits: PE32 for i386 as Tavrolinde ships, PE32+ for x86-64.
    const IMAGE_NT_HEADERS nt = c.get<IMAGE_NT_HEADERS>();
    ASSERT_TRUE(c.good) << EXE << " is cut short";
    const IMAGE_OPTIONAL_HEADER &o = nt.OptionalHeader;
    EXPECT_EQ((Fields{dos.e_magic, nt.Signature, nt.FileHeader.Machine, o.Magic, o.Subsystem,
                      o.MajorSubsystemVersion, o.MinorSubsystemVersion}),
              (Fields{IMAGE_DOS_SIGNATURE, IMAGE_NT_SIGNATURE,
                      BUILD_BITS == 64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386,
                      IMAGE_NT_OPTIONAL_HDR_MAGIC, IMAGE_SUBSYSTEM_WINDOWS_GUI, 4, 0}))
        << "signatures MZ and PE\\0\\0, machine, PE32 or PE32+, subsystem and its version";
}

} // namespace
