#include "app/Formatting.h"

namespace trawlix {

std::string FormatGrouped(int64_t Value) {
  const bool negative = Value < 0;
  // Work on the magnitude as unsigned so that INT64_MIN does not overflow.
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(Value) : static_cast<uint64_t>(Value);
  const std::string digits = std::to_string(magnitude);
  std::string out;
  out.reserve(digits.size() + digits.size() / 3 + 1);
  const size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out.push_back('.');
    out.push_back(digits[i]);
  }
  return negative ? "-" + out : out;
}

std::string FileCountLabelText(int32_t fileCount, int64_t totalBytes) {
  if (fileCount == 1) return "  1 Datei mit " + FormatGrouped(totalBytes) + " Bytes in";
  return "  " + FormatGrouped(fileCount) + " Dateien mit " + FormatGrouped(totalBytes) + " Bytes in";
}

std::string DirCountLabelText(int32_t folderCount) {
  if (folderCount == 1) return "  1 Unterverzeichnis.";
  return "  " + FormatGrouped(folderCount) + " Unterverzeichnissen.";
}

std::string UnreadableNoteText(int64_t folders) {
  if (folders == 1) return "  1 Ordner konnte nicht gelesen werden.";
  return "  " + FormatGrouped(folders) + " Ordner konnten nicht gelesen werden.";
}

std::string GeneralErrorText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
    text.push_back('.');
  return text;
}

}  // namespace trawlix
