// The program's manifest, read with the system's own XML reader (XmlLite):
// a standalone UTF-8 document naming the program's assembly, with an empty
// description and one dependency, on version 6 of the common controls, and
// nothing else. Then the activation context the loader builds from it.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they need:
#include <shlwapi.h>
#include <wrl/client.h>
#include <xmllite.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "resource_reader.h"

namespace quillmere::resources {
namespace {

using Microsoft::WRL::ComPtr;
using Attributes = std::map<std::wstring, std::wstring>;

constexpr wchar_t kAsmV1[] = L"urn:schemas-microsoft-com:asm.v1";

struct Element {
  std::wstring name;      // local name
  std::wstring space;     // namespace URI
  Attributes attributes;  // namespace declarations left out
  std::wstring text;
  std::vector<Element> children;
};

struct Document {
  Attributes declaration;
  std::vector<Element> roots;
};

// What the reader's getter gives, or empty text.
template <typename Getter>
std::wstring Read(IXmlReader& reader, Getter get) {
  const wchar_t* text = nullptr;
  (reader.*get)(&text, nullptr);
  return text ? text : L"";
}

Attributes ReadAttributes(IXmlReader& reader) {
  Attributes attributes;
  for (HRESULT hr = reader.MoveToFirstAttribute(); hr == S_OK; hr = reader.MoveToNextAttribute()) {
    if (Read(reader, &IXmlReader::GetNamespaceUri) == L"http://www.w3.org/2000/xmlns/") continue;
    attributes[Read(reader, &IXmlReader::GetLocalName)] = Read(reader, &IXmlReader::GetValue);
  }
  reader.MoveToElement();
  return attributes;
}

// Builds the element tree; a reader error fails the calling test.
Document Parse(const Bytes& bytes) {
  Document document;
  using CreateReader = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);
  const HMODULE xmllite = ::LoadLibraryW(L"xmllite.dll");
  const auto create =
      reinterpret_cast<CreateReader>(reinterpret_cast<void*>(::GetProcAddress(xmllite, "CreateXmlReader")));
  ComPtr<IXmlReader> reader;
  ComPtr<IStream> stream;
  stream.Attach(::SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size())));
  if (!create || FAILED(create(__uuidof(IXmlReader), &reader, nullptr)) || !stream ||
      FAILED(reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
      FAILED(reader->SetInput(stream.Get()))) {
    ADD_FAILURE() << "cannot start the XML reader";
    return document;
  }
  std::vector<Element> open;
  auto close = [&] {
    Element done = std::move(open.back());
    open.pop_back();
    (open.empty() ? document.roots : open.back().children).push_back(std::move(done));
  };
  IXmlReader& xml = *reader.Get();
  XmlNodeType type{};
  HRESULT hr = S_OK;
  while ((hr = xml.Read(&type)) == S_OK) {
    if (type == XmlNodeType_XmlDeclaration) document.declaration = ReadAttributes(xml);
    if (type == XmlNodeType_Element) {
      const bool empty = xml.IsEmptyElement();
      open.push_back({Read(xml, &IXmlReader::GetLocalName),
                      Read(xml, &IXmlReader::GetNamespaceUri),
                      ReadAttributes(xml),
                      {},
                      {}});
      if (empty) close();
    }
    if (type == XmlNodeType_EndElement) close();
    if ((type == XmlNodeType_Text || type == XmlNodeType_CDATA) && !open.empty()) {
      open.back().text += Read(xml, &IXmlReader::GetValue);
    }
  }
  if (FAILED(hr)) ADD_FAILURE() << "the manifest is not well-formed XML (0x" << std::hex << hr << ")";
  return document;
}

std::vector<std::wstring> NamesOf(const std::vector<Element>& elements) {
  std::vector<std::wstring> names;
  for (const Element& element : elements) names.push_back(element.name);
  return names;
}

void ExpectAllInAsmV1(const Element& element) {
  EXPECT_EQ(element.space, kAsmV1) << "element " << ::testing::PrintToString(element.name);
  for (const Element& child : element.children) ExpectAllInAsmV1(child);
}

class Manifest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = LoadProgramResources();
    ASSERT_TRUE(program_);
    bytes_ = ResourceBytes(program_.get(), RT_MANIFEST, 1, kEnglishUs);
    ASSERT_FALSE(bytes_.empty()) << "no US English manifest 1";
    document_ = Parse(bytes_);
    ASSERT_EQ(document_.roots.size(), 1u) << "not one document element";
  }
  const Element& Root() const { return document_.roots[0]; }

  UniqueModule program_;
  Bytes bytes_;
  Document document_;
};

TEST_F(Manifest, IsStandaloneUtf8Xml) {
  EXPECT_EQ(document_.declaration,
            (Attributes{{L"version", L"1.0"}, {L"encoding", L"UTF-8"}, {L"standalone", L"yes"}}));
  const int wide =
      ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes_.data()),
                            static_cast<int>(bytes_.size()), nullptr, 0);
  EXPECT_GT(wide, 0) << "not valid UTF-8";
  EXPECT_EQ(std::count(bytes_.begin(), bytes_.end(), 0), 0) << "NUL bytes: UTF-16 or padding";
}

TEST_F(Manifest, RootIsAnAssemblyOfManifestVersion1) {
  EXPECT_EQ(Root().name, L"assembly");
  EXPECT_EQ(Root().attributes, (Attributes{{L"manifestVersion", L"1.0"}}));
  ExpectAllInAsmV1(Root());
}

// No requested execution level, no supported-OS list, no second dependency.
TEST_F(Manifest, HoldsOnlyIdentityDescriptionAndOneDependency) {
  EXPECT_EQ(NamesOf(Root().children),
            (std::vector<std::wstring>{L"assemblyIdentity", L"description", L"dependency"}));
}

TEST_F(Manifest, IdentityNamesTheProgramsAssembly) {
  ASSERT_FALSE(Root().children.empty());
  const Element& identity = Root().children[0];
  ASSERT_EQ(identity.name, L"assemblyIdentity");
  EXPECT_EQ(identity.attributes, (Attributes{{L"name", L"XPStyle Control Demo"},
                                             {L"processorArchitecture", L"x86"},
                                             {L"version", L"1.0.0.0"},
                                             {L"type", L"win32"}}));
  EXPECT_TRUE(identity.children.empty());
}

TEST_F(Manifest, DescriptionIsEmpty) {
  ASSERT_GE(Root().children.size(), 2u);
  const Element& description = Root().children[1];
  ASSERT_EQ(description.name, L"description");
  EXPECT_TRUE(description.attributes.empty());
  EXPECT_TRUE(description.children.empty());
  EXPECT_EQ(description.text, L"");
}

TEST_F(Manifest, DependsOnCommonControls6Only) {
  ASSERT_EQ(Root().children.size(), 3u);
  const Element& dependency = Root().children[2];
  ASSERT_EQ(NamesOf(dependency.children), std::vector<std::wstring>{L"dependentAssembly"});
  const Element& dependent = dependency.children[0];
  ASSERT_EQ(NamesOf(dependent.children), std::vector<std::wstring>{L"assemblyIdentity"});
  EXPECT_EQ(dependent.children[0].attributes, (Attributes{{L"type", L"win32"},
                                                          {L"name", L"Microsoft.Windows.Common-Controls"},
                                                          {L"version", L"6.0.0.0"},
                                                          {L"processorArchitecture", L"x86"},
                                                          {L"publicKeyToken", L"6595b64144ccf1df"},
                                                          {L"language", L"*"}}));
}

using UniqueActCtx = win32::UniqueAny<HANDLE, ::ReleaseActCtx, win32::InvalidHandleIsEmpty>;

// The identities of the assemblies in an activation context, the program's
// own first.
std::vector<std::wstring> AssembliesOf(HANDLE context) {
  SIZE_T needed = 0;
  ::QueryActCtxW(0, context, nullptr, ActivationContextDetailedInformation, nullptr, 0, &needed);
  std::vector<std::uint8_t> buffer(std::max<SIZE_T>(needed, sizeof(ACTIVATION_CONTEXT_DETAILED_INFORMATION)));
  if (!::QueryActCtxW(0, context, nullptr, ActivationContextDetailedInformation, buffer.data(), buffer.size(),
                      nullptr)) {
    ADD_FAILURE() << "QueryActCtxW: error " << ::GetLastError();
    return {};
  }
  const auto& detail = *reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(buffer.data());
  std::vector<std::wstring> identities;
  for (DWORD index = 1; index <= detail.ulAssemblyCount; ++index) {
    ::QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext, nullptr, 0, &needed);
    std::vector<std::uint8_t> details(needed);
    if (!::QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext, details.data(),
                        details.size(), nullptr)) {
      ADD_FAILURE() << "no details of assembly " << index;
      continue;
    }
    const auto* assembly =
        reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(details.data());
    identities.push_back(
        assembly->lpAssemblyEncodedAssemblyIdentity ? assembly->lpAssemblyEncodedAssemblyIdentity : L"");
  }
  return identities;
}

bool Contains(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

// What the loader builds from the manifest when the program starts: the
// program's assembly and, bound to it, version 6 of the common controls.
TEST(ActivationContext, ProgramManifestBindsCommonControls6) {
  const std::wstring program = ProgramPath();
  ACTCTXW request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = program.c_str();
  request.lpResourceName = MAKEINTRESOURCEW(1);  // the manifest the loader reads for a program
  const UniqueActCtx context(::CreateActCtxW(&request));
  ASSERT_TRUE(context) << "the loader rejects the manifest: error " << ::GetLastError();
  const std::vector<std::wstring> assemblies = AssembliesOf(context.get());
  ASSERT_EQ(assemblies.size(), 2u) << "the program's assembly and one dependency";
  EXPECT_TRUE(Contains(assemblies[0], L"XPStyle Control Demo")) << ::testing::PrintToString(assemblies[0]);
  const std::wstring& controls = assemblies[1];
  EXPECT_TRUE(Contains(controls, L"Microsoft.Windows.Common-Controls")) << ::testing::PrintToString(controls);
  // The loader binds the newest installed 6.0 release, e.g. 6.0.2600.2982.
  EXPECT_TRUE(Contains(controls, L"version=\"6.0.")) << ::testing::PrintToString(controls);
  EXPECT_TRUE(Contains(controls, L"publicKeyToken=\"6595b64144ccf1df\""))
      << ::testing::PrintToString(controls);
}

// quillmere-split.exe's own manifest, as the loader reads it.
class ToolManifest : public ::testing::Test {
 protected:
  void SetUp() override {
    tool_ = LoadProgramResources(driver::WindowsPath(QUILLMERE_SPLIT));
    ASSERT_TRUE(tool_);
    const Bytes bytes = ResourceBytes(tool_.get(), RT_MANIFEST, 1, kEnglishUs);
    ASSERT_FALSE(bytes.empty()) << "quillmere-split.exe has no manifest";
    document_ = Parse(bytes);
    ASSERT_EQ(document_.roots.size(), 1u);
  }
  // The elements at the end of a path of local names below the root.
  std::vector<const Element*> Find(std::initializer_list<const wchar_t*> path) const {
    std::vector<const Element*> level{&document_.roots[0]};
    for (const wchar_t* name : path) {
      std::vector<const Element*> next;
      for (const Element* element : level) {
        for (const Element& child : element->children) {
          if (child.name == name) next.push_back(&child);
        }
      }
      level = std::move(next);
    }
    return level;
  }

  UniqueModule tool_;
  Document document_;
};

// Without it, Windows runs a 32-bit console program with file
// virtualisation: a write under Program Files lands in the VirtualStore
// while the tool reports the folder it was given.
TEST_F(ToolManifest, RunsAsInvokerSoWritesAreNeverVirtualised) {
  const auto level = Find({L"trustInfo", L"security", L"requestedPrivileges", L"requestedExecutionLevel"});
  ASSERT_EQ(level.size(), 1u);
  EXPECT_EQ(level[0]->attributes.at(L"level"), L"asInvoker");
}

TEST_F(ToolManifest, NamesWindows7To11AsSupported) {
  std::vector<std::wstring> ids;
  for (const Element* os : Find({L"compatibility", L"application", L"supportedOS"})) {
    ids.push_back(driver::Lower(os->attributes.at(L"Id")));
  }
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<std::wstring>{L"{1f676c76-80e1-4239-95bb-83d0f6d0da78}",     // 8.1
                                            L"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",     // 7
                                            L"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",     // 8
                                            L"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}));  // 10, 11
}

TEST_F(ToolManifest, IsLongPathAware) {
  const auto aware = Find({L"application", L"windowsSettings", L"longPathAware"});
  ASSERT_EQ(aware.size(), 1u);
  EXPECT_EQ(aware[0]->space, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings");
  EXPECT_EQ(aware[0]->text, L"true");
}

// A manifest the loader rejects stops the program from starting at all.
TEST(ActivationContext, LoaderAcceptsTheToolsManifest) {
  const std::wstring tool = driver::WindowsPath(QUILLMERE_SPLIT);
  ACTCTXW request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = tool.c_str();
  request.lpResourceName = MAKEINTRESOURCEW(1);
  const UniqueActCtx context(::CreateActCtxW(&request));
  ASSERT_TRUE(context) << "the loader rejects the manifest: error " << ::GetLastError();
  const std::vector<std::wstring> assemblies = AssembliesOf(context.get());
  ASSERT_FALSE(assemblies.empty());
  EXPECT_TRUE(Contains(assemblies[0], L"Tarnwell.Quillmere.Split"))
      << ::testing::PrintToString(assemblies[0]);
}

}  // namespace
}  // namespace quillmere::resources
