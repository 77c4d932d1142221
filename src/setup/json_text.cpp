#include "setup/json_text.h"

#include "common/text.h"

namespace mergebridge {

namespace {

// The length of the valid UTF-8 sequence at `text[i]`, or 0 where there is none
// (a stray byte, an overlong form, a surrogate or a value past U+10FFFF).
size_t Utf8Length(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = lead < 0x80                    ? 1
                  : lead >= 0xC2 && lead <= 0xDF ? 2
                  : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  const unsigned char second = length > 1 ? byte(i + 1) : 0x80;
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    const size_t length = Utf8Length(text, i);
    if (length == 0) {
      json += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (c == '\n') {
      json += "\\n";
    } else if (c == '\t') {
      json += "\\t";
    } else if (c == '\r') {
      json += "\\r";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      json += Format("\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
    } else {
      json.append(text.substr(i, length));
    }
    i += length;
  }
  return json + "\"";
}

std::string JsonStringOrNull(bool present, std::string_view text) {
  return present ? JsonString(text) : "null";
}

std::string JsonList(const std::vector<std::string>& values) {
  std::string json = "[";
  for (const std::string& value : values) json += (json.size() > 1 ? "," : "") + value;
  return json + "]";
}

std::string JsonObject(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string json = "{";
  for (const auto& [name, value] : members)
    json += (json.size() > 1 ? "," : "") + JsonString(name) + ":" + value;
  return json + "}";
}

std::string JsonStrings(const std::vector<std::string>& texts) {
  std::vector<std::string> values;
  for (const std::string& text : texts) values.push_back(JsonString(text));
  return JsonList(values);
}

}  // namespace mergebridge
