#include "differential.h"

#include <sstream>

#include "card_model.h"
#include "memory_files.h"
#include "quillmere/splitter.h"
#include "recording_owner.h"

namespace quillmere::testing {
namespace {

std::string Escaped(const std::string& bytes, std::size_t limit = 160) {
  std::ostringstream out;
  for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out << static_cast<char>(c);
    } else {
      static const char* hex = "0123456789ABCDEF";
      out << "\\x" << hex[c >> 4] << hex[c & 15];
    }
  }
  if (bytes.size() > limit) out << "...(" << bytes.size() << " bytes)";
  return out.str();
}

std::string FirstDifference(const std::string& got, const std::string& want) {
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  const std::size_t from = at > 20 ? at - 20 : 0;
  return "differ at byte " + std::to_string(at) + ": splitter \"" + Escaped(got.substr(from, 60)) +
         "\" model \"" + Escaped(want.substr(from, 60)) + "\"";
}

}  // namespace

std::string DifferenceFromModel(const std::string& source, const ReadPlan& reads,
                                std::size_t largeCardBytes) {
  const auto folder = std::filesystem::path("/") / "out";
  const auto sourcePath = std::filesystem::path("/") / "in" / "source.vcf";
  MemoryFiles files;
  files.Put(sourcePath, source);
  files.AddFolder(folder);
  files.SetReadSizes(reads);
  RecordingOwner owner;
  const RunOutcome outcome = RecordedSplit(
      {.source = sourcePath.native(), .folder = folder.native(), .largeCardBytes = largeCardBytes}, owner,
      files);
  const model::Expected expected = model::SplitWholeFile(source);

  if (outcome != RunOutcome::Finished || owner.finished.size() != 1 || !owner.failed.empty())
    return "the run did not finish once and cleanly";
  const RunSummary& summary = owner.finished.front();
  if (summary.saved != expected.cards.size())
    return "count " + std::to_string(summary.saved) + ", model " + std::to_string(expected.cards.size());
  if (summary.unfinishedLastCard != expected.unfinishedLastCard)
    return std::string("unfinished-card flag ") + (summary.unfinishedLastCard ? "set" : "clear") +
           ", model disagrees";
  const auto written = files.FilesIn(folder);
  if (written.size() != expected.cards.size())
    return std::to_string(written.size()) + " files for " + std::to_string(expected.cards.size()) +
           " cards (a temporary file left over?)";
  for (std::size_t n = 0; n < expected.cards.size(); ++n) {
    const auto name = "vCard" + std::to_string(n + 1) + ".vcf";
    const auto it = written.find(name);
    if (it == written.end()) return name + " missing";
    if (it->second != expected.cards[n]) return name + ": " + FirstDifference(it->second, expected.cards[n]);
  }
  if (owner.progress != expected.progress) {
    std::size_t at = 0;
    while (at < owner.progress.size() && at < expected.progress.size() &&
           owner.progress[at] == expected.progress[at])
      ++at;
    return "progress: " + std::to_string(owner.progress.size()) + " reports, model " +
           std::to_string(expected.progress.size()) + " lines; first difference at report " +
           std::to_string(at);
  }
  if (files.Content(sourcePath) != source) return "the source was changed";
  return {};
}

}  // namespace quillmere::testing
