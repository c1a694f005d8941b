#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "quillmere/splitter.h"
#include "recording_owner.h"
#include "scratch_folder.h"
#include "whole_files.h"

namespace quillmere::test {

// Native text from UTF-8 (converted to UTF-16 on Windows).
NativeString N(const std::string& utf8);

// A card as it is written: CR LF before every line, CR LF at the end.
std::string CardFile(const std::vector<std::string>& lines);

// Every vCardN.vcf of a folder, in number order; stops at the first gap.
std::vector<std::string> OutputCards(const std::filesystem::path& folder);

using ::quillmere::testing::ByteOrder;
using ::quillmere::testing::ReadWholeFile;
using ::quillmere::testing::RecordingOwner;
using ::quillmere::testing::ScratchFolder;
using ::quillmere::testing::Utf16;
using ::quillmere::testing::WriteWholeFile;

}  // namespace quillmere::test
