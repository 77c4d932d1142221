#include "setup/json_text.h"

#include "common/text.h"
#include "common/utf8.h"

namespace mergebridge {

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    const size_t length = DecodeUtf8(text, i).length;
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
