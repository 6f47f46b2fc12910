#include "record/record_player.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>

#include "record/traffic_record.h"

namespace record {
namespace {

using Fields = std::map<std::string, std::string>;

void SkipSpace(const std::string& text, std::size_t& at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r')) ++at;
}

// A JSON string at `at` (its opening quote); escapes of ASCII only, as the record writes them.
bool ParseString(const std::string& text, std::size_t& at, std::string& value) {
  if (at >= text.size() || text[at] != '"') return false;
  value.clear();
  for (++at; at < text.size(); ++at) {
    char c = text[at];
    if (c == '"') {
      ++at;
      return true;
    }
    if (c == '\\') {
      if (++at >= text.size()) return false;
      c = text[at];
      if (c == 'u') {
        if (at + 4 >= text.size()) return false;
        c = static_cast<char>(std::strtoul(text.substr(at + 1, 4).c_str(), nullptr, 16));
        at += 4;
      } else if (c == 'n') {
        c = '\n';
      } else if (c == 't') {
        c = '\t';
      } else if (c == 'r') {
        c = '\r';
      }
    }
    value += c;
  }
  return false;
}

// One flat object of strings and numbers (a number is kept as its text).
bool ParseObject(const std::string& text, Fields& fields) {
  std::size_t at = 0;
  SkipSpace(text, at);
  if (at >= text.size() || text[at++] != '{') return false;
  for (;;) {
    SkipSpace(text, at);
    std::string name;
    std::string value;
    if (!ParseString(text, at, name)) return false;
    SkipSpace(text, at);
    if (at >= text.size() || text[at++] != ':') return false;
    SkipSpace(text, at);
    if (at < text.size() && text[at] == '"') {
      if (!ParseString(text, at, value)) return false;
    } else {
      const std::size_t end = text.find_first_of(",} \t", at);
      if (end == std::string::npos || end == at) return false;
      value = text.substr(at, end - at);
      at = end;
    }
    fields[name] = value;
    SkipSpace(text, at);
    if (at >= text.size()) return false;
    const char separator = text[at++];
    if (separator == '}') break;
    if (separator != ',') return false;
  }
  SkipSpace(text, at);
  return at == text.size();
}

bool ParseHex(const std::string& hex, std::vector<std::uint8_t>& bytes) {
  if (hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
  bytes.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  }
  return true;
}

// Fills `line` from the fields of one record line; false when they are not a record's.
bool ToLine(const Fields& fields, RecordPlayer::Line& line) {
  using Kind = RecordPlayer::Line::Kind;
  static const std::map<std::string, Kind> kKinds = {
      {"to_pen", Kind::ToPen},   {"from_pen", Kind::FromPen}, {"descriptor", Kind::Descriptor},
      {"plug", Kind::Plug},      {"unplug", Kind::Unplug},    {"restart", Kind::Restart}};
  const auto field = [&fields](const char* name) {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
  };
  const auto kind = kKinds.find(fields.count("dir") != 0 ? field("dir") : field("event"));
  char* end = nullptr;
  const std::string ms = field("t_ms");
  line.ms = std::strtod(ms.c_str(), &end);
  if (kind == kKinds.end() || ms.empty() || *end != '\0' || field("pen").empty()) return false;
  line.kind = kind->second;
  switch (line.kind) {
    case Kind::ToPen:
    case Kind::FromPen:
      return ParseHex(field("hex"), line.bytes);
    case Kind::Descriptor:
      return ParseHex(field("hex"), line.bytes) && line.bytes.size() == kDescriptorSize;
    case Kind::Plug:
      line.interfaceName = field("interface");
      return !line.interfaceName.empty();
    case Kind::Unplug:
    case Kind::Restart:
      break;
  }
  return true;
}

}  // namespace

std::unique_ptr<RecordPlayer> RecordPlayer::Load(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read the traffic record " + path;
    return nullptr;
  }
  std::string serial;  // the first pen plugged; lines of other pens are left out
  std::vector<Line> lines;
  int number = 0;
  for (std::string text; std::getline(in, text);) {
    ++number;
    if (text.find_first_not_of(" \t\r") == std::string::npos) continue;
    Fields fields;
    Line line;
    line.number = number;
    if (ParseObject(text, fields) && fields["event"] == "failure") continue;  // a note for people, not traffic
    if (!ParseObject(text, fields) || !ToLine(fields, line)) {
      error = "line " + std::to_string(number) + " of " + path + " is not a traffic record line";
      return nullptr;
    }
    if (serial.empty() && line.kind == Line::Kind::Plug) serial = fields["pen"];
    if (!serial.empty() && fields["pen"] == serial) lines.push_back(std::move(line));
  }
  if (serial.empty()) {
    error = "the traffic record " + path + " plugs no pen";
    return nullptr;
  }
  return std::make_unique<RecordPlayer>(path, serial, std::move(lines));
}

RecordPlayer::RecordPlayer(std::string path, std::string serial, std::vector<Line> lines)
    : m_path(std::move(path)), m_serial(std::move(serial)), m_lines(std::move(lines)) {}

std::string RecordPlayer::Verdict() const {
  if (!m_failure.empty()) return m_failure;
  for (std::size_t i = m_next; i < m_lines.size(); ++i) {
    if (m_lines[i].kind == Line::Kind::ToPen) {
      return LineName(i) + ": the tool stopped before this request: " +
             Hex(m_lines[i].bytes.data(), m_lines[i].bytes.size());
    }
  }
  return {};
}

std::string RecordPlayer::LineName(std::size_t index) const {
  return "line " + std::to_string(m_lines[index].number) + " of " + m_path;
}

bool RecordPlayer::Plug(Step& step) {
  if (!m_failure.empty() || m_next >= m_lines.size() || m_lines[m_next].kind != Line::Kind::Plug) return false;
  const Line& plug = m_lines[m_next++];
  m_interfaceName = plug.interfaceName;
  Play(plug.ms, step);
  return true;
}

RecordPlayer::Step RecordPlayer::Message(const std::uint8_t* data, std::size_t size) {
  Step step;
  step.leave = Step::Leave::Unplugs;  // unless the record has this message next
  if (!m_failure.empty()) return step;
  const std::string sent = Hex(data, size);
  if (m_next >= m_lines.size()) {
    m_failure = m_path + " has ended; the tool sent " + sent;
    return step;
  }
  const Line& expected = m_lines[m_next];
  if (expected.kind != Line::Kind::ToPen) {
    m_failure = LineName(m_next) + ": the record has no request here; the tool sent " + sent;
    return step;
  }
  const auto differs = std::mismatch(data, data + size, expected.bytes.begin(), expected.bytes.end());
  if (differs.first != data + size || differs.second != expected.bytes.end()) {
    m_failure = LineName(m_next) + ": the tool sent " + sent + ", the record has " +
                Hex(expected.bytes.data(), expected.bytes.size()) + " (they differ from byte " +
                std::to_string(differs.first - data) + ")";
    return step;
  }
  ++m_next;
  step.leave = Step::Leave::Stays;
  Play(expected.ms, step);
  Leave(step);
  return step;
}

void RecordPlayer::Play(double fromMs, Step& step) {
  for (; m_next < m_lines.size(); ++m_next) {
    const Line& line = m_lines[m_next];
    if (line.kind == Line::Kind::FromPen) {
      step.packets.push_back({line.ms - fromMs, line.bytes});
    } else if (line.kind == Line::Kind::Descriptor) {
      m_descriptor = line.bytes;
    } else {
      break;
    }
  }
}

void RecordPlayer::Leave(Step& step) {
  if (m_next >= m_lines.size()) return;
  const Line& leaving = m_lines[m_next];
  if (leaving.kind == Line::Kind::Unplug) {
    ++m_next;
    step.leave = Step::Leave::Unplugs;
    return;
  }
  if (leaving.kind != Line::Kind::Restart) return;
  ++m_next;
  if (m_next < m_lines.size() && m_lines[m_next].kind == Line::Kind::Unplug) ++m_next;  // the restart's own
  step.leave = Step::Leave::Restarts;
  if (m_next < m_lines.size() && m_lines[m_next].kind == Line::Kind::Plug) {
    step.backAfterMs = m_lines[m_next].ms - leaving.ms;
  }
}

}  // namespace record
