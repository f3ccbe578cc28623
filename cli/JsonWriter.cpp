#include "cli/JsonWriter.h"

#include <cstdio>

#include "git/uCommitMessage.h"

namespace pellmor {

std::string JsonQuote(const std::string& text) {
  const std::string utf8 = DecodeCommitMessage(text, nullptr);
  std::string quoted;
  quoted.reserve(utf8.size() + 2);
  quoted += '"';
  for (const char c : utf8) {
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
          quoted += escape;
        } else {
          quoted += c;
        }
    }
  }
  quoted += '"';
  return quoted;
}

void TJsonWriter::Indent() {
  out_ << '\n';
  for (size_t i = 0; i < levels_.size(); ++i) out_ << "  ";
}

void TJsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (levels_.empty()) return;
  if (!levels_.back().Empty) out_ << ',';
  levels_.back().Empty = false;
  Indent();
}

void TJsonWriter::Open(char bracket, bool object) {
  BeforeValue();
  out_ << bracket;
  levels_.push_back({object});
}

void TJsonWriter::Close(char bracket) {
  const bool empty = levels_.back().Empty;
  levels_.pop_back();
  if (!empty) Indent();
  out_ << bracket;
}

void TJsonWriter::BeginArray() { Open('[', false); }
void TJsonWriter::EndArray() { Close(']'); }
void TJsonWriter::BeginObject() { Open('{', true); }
void TJsonWriter::EndObject() { Close('}'); }

void TJsonWriter::Key(const std::string& name) {
  BeforeValue();
  out_ << JsonQuote(name) << ": ";
  afterKey_ = true;
}

void TJsonWriter::String(const std::string& text) {
  BeforeValue();
  out_ << JsonQuote(text);
}

void TJsonWriter::Number(int64_t value) {
  BeforeValue();
  out_ << value;
}

void TJsonWriter::Bool(bool value) {
  BeforeValue();
  out_ << (value ? "true" : "false");
}

void TJsonWriter::Null() {
  BeforeValue();
  out_ << "null";
}

void TJsonWriter::StringMember(const std::string& name, const std::string& text) {
  Key(name);
  String(text);
}

void TJsonWriter::NumberMember(const std::string& name, int64_t value) {
  Key(name);
  Number(value);
}

void TJsonWriter::BoolMember(const std::string& name, bool value) {
  Key(name);
  Bool(value);
}

void TJsonWriter::Finish() { out_ << '\n'; }

}  // namespace pellmor
