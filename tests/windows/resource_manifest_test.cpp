// The program's manifest as the loader reads it: the activation context it
// builds names the program's assembly and version 6 of the common controls.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "resource_reader.h"

namespace quillmere::resources {
namespace {

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

// quillmere-split.exe's own manifest as it stands in the built file, in
// lower case: the settings that only Windows acts on, which Wine ignores.
std::string ToolManifestText() {
  const UniqueModule tool = LoadProgramResources(driver::WindowsPath(QUILLMERE_SPLIT));
  if (!tool) return {};
  const Bytes bytes = ResourceBytes(tool.get(), RT_MANIFEST, 1, kEnglishUs);
  std::string text(bytes.begin(), bytes.end());
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// asInvoker: without it Windows runs a 32-bit console program with file
// virtualisation, and a write under Program Files lands in the VirtualStore
// while the tool reports the folder it was given. The supportedOS ids of
// Windows 7 to 11 keep the system from treating it as an old program, and
// longPathAware lets it reach folders deeper than MAX_PATH.
TEST(ToolManifest, RunsAsInvokerOnWindows7To11WithLongPaths) {
  const std::string text = ToolManifestText();
  ASSERT_FALSE(text.empty()) << "quillmere-split.exe has no manifest";
  for (const char* setting : {"level=\"asinvoker\"", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
                              "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",                          // 8
                              "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",                          // 8.1
                              "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",                          // 10, 11
                              "smi/2016/windowssettings\">true</longpathaware>"}) {
    EXPECT_NE(text.find(setting), std::string::npos) << setting;
  }
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
