#include "cli/drawing_outcome.h"

#include <charconv>

#include "cli/session.h"
#include "runtime/text.h"

namespace corvane {
namespace {

// SECONDS with DECIMALS digits after the point, whatever the locale.
std::string fixed(double seconds, int decimals) {
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, decimals);
  return ec == std::errc() ? std::string(buffer, end) : "0";
}

// TEXT as a JSON string. Bytes that are not UTF-8 (a file name is any
// bytes) become U+FFFD, so that every reader takes the line.
std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      static const char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (size_t n = utf8SequenceLength(text, i); n > 0) {
      out.append(text, i, n);
      i += n;
      continue;
    } else {
      out += "\\ufffd";
    }
    ++i;
  }
  return out + "\"";
}

std::string joinedNotes(const DrawingOutcome& outcome) {
  std::string text;
  for (const std::string& note : outcome.notes) text += (text.empty() ? "" : "; ") + note;
  return text;
}

} // namespace

size_t DrawingOutcome::ignoredCount() const {
  size_t n = 0;
  for (const auto& kind : ignored) n += kind.second;
  return n;
}

const char* DrawingOutcome::verdict() const {
  if (crashed) return "crashed";
  switch (status) {
  case kExitOk: return "exported";
  case kExitFalse: return "nothing converted";
  case kExitAborted: return "aborted";
  case kExitInterrupted: return "interrupted";
  default: return "refused";
  }
}

std::string outcomeJson(const DrawingOutcome& outcome) {
  std::string ignored = "{";
  for (const auto& [type, n] : outcome.ignored)
    ignored += (ignored.size() > 1 ? ", " : "") + jsonString(type) + ": " + std::to_string(n);
  ignored += "}";
  return "{\"drawing\": " + jsonString(outcome.drawing) + ", \"world\": " + jsonString(outcome.world) +
         ", \"status\": " + std::to_string(outcome.status) + ", \"verdict\": " + jsonString(outcome.verdict()) +
         ", \"converted\": " + std::to_string(outcome.converted) + ", \"ignored\": " + ignored +
         ", \"seconds\": " + fixed(outcome.seconds, 3) + ", \"message\": " + jsonString(joinedNotes(outcome)) + "}";
}

std::string outcomeLine(const DrawingOutcome& outcome) {
  std::string line = outcome.drawing + ": ";
  if (outcome.status == kExitOk || outcome.status == kExitFalse)
    line += std::to_string(outcome.converted) + " converted, " + std::to_string(outcome.ignoredCount()) + " ignored";
  else
    line += outcome.verdict();
  line += ", " + fixed(outcome.seconds, outcome.seconds < 10 ? 2 : 1) + " s";
  for (const std::string& note : outcome.notes) line += "; " + note;
  return line;
}

bool worthSaying(const DrawingOutcome& outcome) { return outcome.status != kExitOk || !outcome.notes.empty(); }

std::vector<std::string> notesFrom(const std::string& text) {
  std::vector<std::string> notes;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (line.starts_with("corvane: ")) line.erase(0, 9);
    if (!line.empty()) notes.push_back(line);
    start = end + 1;
  }
  return notes;
}

} // namespace corvane
