#pragma once
// The texts a run's owner shows: the same words in the window and the tool.
#include <cstdint>

#include "quillmere/native_text.h"
#include "quillmere/run.h"

namespace quillmere {

// The text of the closing message box: "<n> vCards Saved in " CR LF
// "<folder>", and a note when the last card had no END:VCARD line.
NativeString FinalMessage(const RunSummary& summary);

// The text of the failure message box: what failed, on which file, the
// system's reason, and how many cards were saved before it.
NativeString FailureMessage(const RunFailure& failure);

// What failed and on which file: `Could not write "…\vCard3.vcf"`.
NativeString FailureHeadline(const RunFailure& failure);

// "n vCards were saved before this failure."
NativeString SavedBeforeFailure(std::uint64_t saved);

// "(" n ") vCards Saved": the progress label's text.
NativeString ProgressText(std::uint64_t saved);

}  // namespace quillmere
