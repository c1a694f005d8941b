#include "sample_sources.h"

namespace quillmere::testing {

std::string PlainCards(int count, const std::string& lineEnd, int padding) {
  std::string text = "Exported contacts" + lineEnd;
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    text += "BEGIN:VCARD" + lineEnd + "VERSION:3.0" + lineEnd + "FN:Person " + n + lineEnd + "N:Person;" + n +
            ";;;" + lineEnd + "NOTE:a folded note that goes on" + lineEnd + " over a second line  " +
            lineEnd + lineEnd + "TEL;TYPE=CELL:+1 555 0100 " + n + lineEnd;
    if (padding > 0) text += "X-PAD:" + std::string(static_cast<std::size_t>(padding), 'p') + lineEnd;
    text += "END:VCARD" + lineEnd;
  }
  return text;
}

std::vector<SampleSource> GeneratedSources() {
  const std::string nested =
      "BEGIN:VCARD\nFN:Holder\nAGENT:\nBEGIN:VCARD\nFN:Agent\nEND:VCARD\nTEL:1\nEND:VCARD\n";
  return {
      {"CrLfCards", PlainCards(5)},
      {"LfNestingStrayEndUnfinished", "END:VCARD\n" + PlainCards(2, "\n") + nested + "  end:vcard  \n" +
                                          PlainCards(2, "\n") + "BEGIN:VCARD\nFN:never ended\n"},
      {"Utf8MarkCrCrLf", "\xEF\xBB\xBF" + PlainCards(4, "\r\r\n")},
      {"LoneCrMixedCase", "begin:vcard\rFN:a\rEnd:VCard\r" + PlainCards(3, "\r")},
      {"Utf16LittleEndian", Utf16(PlainCards(4), ByteOrder::Little, Mark::With)},
      {"Utf16BigEndian", Utf16(PlainCards(3, "\n"), ByteOrder::Big, Mark::With)},
      {"Utf16UnmarkedLittleEndian", Utf16(PlainCards(2, "\r\r\n"), ByteOrder::Little)},
      {"Utf16UnmarkedBigEndian", Utf16(PlainCards(2, "\r"), ByteOrder::Big)},
  };
}

std::optional<std::filesystem::path> CorpusFolder() {
#ifdef QUILLMERE_CORPUS_DIR
  const std::filesystem::path folder(QUILLMERE_CORPUS_DIR);
  std::error_code ignored;
  if (std::filesystem::is_directory(folder, ignored)) return folder;
#endif
  return std::nullopt;
}

std::optional<SampleSource> CorpusSource(const std::string& fileName) {
  auto folder = CorpusFolder();
  if (!folder || !std::filesystem::exists(*folder / fileName)) return std::nullopt;
  return SampleSource{fileName, ReadWholeFile(*folder / fileName)};
}

}  // namespace quillmere::testing
