#include "quillmere/messages.h"

namespace quillmere {
namespace {

NativeString Quoted(const std::filesystem::path& file) {
  return Native("\"") + file.native() + Native("\"");
}

}  // namespace

NativeString ProgressText(std::uint64_t saved) {
  return Native("(") + NativeDecimal(saved) + Native(") vCards Saved");
}

NativeString FinalMessage(const RunSummary& summary) {
  NativeString text = NativeDecimal(summary.saved) + Native(" vCards Saved in ");
  if (summary.files) {
    text += NativeDecimal(*summary.files) + Native(*summary.files == 1 ? " file in " : " files in ");
  }
  text += Native("\r\n") + summary.folder;
  if (summary.unfinishedLastCard) {
    text += Native("\r\n\r\nThe last card has no END:VCARD line and was not saved.");
  }
  return text;
}

NativeString FailureHeadline(const RunFailure& failure) {
  switch (failure.step) {
    case FailedStep::OpenSource:
      return Native("Could not open the vCard file ") + Quoted(failure.file);
    case FailedStep::ReadSource:
      return Native("Could not read the vCard file ") + Quoted(failure.file);
    case FailedStep::CreateOutput:
    case FailedStep::OutputIsSource:
      return Native("Could not create ") + Quoted(failure.file);
    case FailedStep::RemoveTemporary:
      return Native("Could not remove the partly written card ") + Quoted(failure.file);
    case FailedStep::Unexpected:
      return Native("Could not finish splitting ") + Quoted(failure.file);
    case FailedStep::WriteOutput:
      break;
  }
  return Native("Could not write ") + Quoted(failure.file);
}

NativeString SavedBeforeFailure(std::uint64_t saved) {
  return NativeDecimal(saved) + Native(saved == 1 ? " vCard was" : " vCards were") +
         Native(" saved before this failure.");
}

NativeString FailureMessage(const RunFailure& failure) {
  return FailureHeadline(failure) + Native(".\r\n") + failure.reason + Native("\r\n\r\n") +
         SavedBeforeFailure(failure.saved);
}

}  // namespace quillmere
