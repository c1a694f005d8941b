#pragma once
// What a window or a tool calls to split a source.
#include "quillmere/file_system.h"
#include "quillmere/run.h"

namespace quillmere {

// Splits the source into one file per card, vCard1.vcf, vCard2.vcf, … (or
// named after the contacts) in the folder, and tells the owner how it
// ended. An empty folder ends the run at once, with no call to the owner.
void SplitCards(const SplitRequest& request, RunOwner& owner, FileSystem& files = SystemFiles());

// Reads the source exactly as SplitCards would, with the request's naming,
// and gives each whole card's number and file name to the list, in source
// order; nothing is written and the folder is not looked at. Reports to the
// owner as a split does (the count is of cards listed).
void ListFileNames(const SplitRequest& request, RunOwner& owner, NameList& list,
                   FileSystem& files = SystemFiles());

// The number of writers a run takes when none is asked for: the machine's
// processors, at most 8.
unsigned DefaultJobs();

}  // namespace quillmere
