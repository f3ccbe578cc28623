// A small JSON writer for the quarv tool's --json output: arrays, objects,
// strings, integers and booleans, written as they come, two spaces of
// indentation per level, every member and element on a line of its own.
//
// Strings are the store's 8-bit texts. Well-formed UTF-8 is written as it
// is; text that is not UTF-8 is read as Windows-1252, as the program reads a
// commit message that is not UTF-8, so the output is always valid JSON.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace pellmor {

class TJsonWriter {
 public:
  // out must outlive the writer.
  explicit TJsonWriter(std::ostream& out) : out_(out) {}

  void BeginArray();
  void EndArray();
  void BeginObject();
  void EndObject();
  // The name of the next member; only inside an object.
  void Key(const std::string& name);
  void String(const std::string& text);
  void Number(int64_t value);
  void Bool(bool value);
  void Null();
  // Key(name), then the value.
  void StringMember(const std::string& name, const std::string& text);
  void NumberMember(const std::string& name, int64_t value);
  void BoolMember(const std::string& name, bool value);

  // Ends the document with a line break, once every array and object is closed.
  void Finish();

 private:
  struct Level {
    bool Object;
    bool Empty = true;
  };

  // Separator and indentation before a value (not after a key).
  void BeforeValue();
  void Open(char bracket, bool object);
  void Close(char bracket);
  void Indent();

  std::ostream& out_;
  std::vector<Level> levels_;
  bool afterKey_ = false;
};

// text as a JSON string literal, quotes included.
std::string JsonQuote(const std::string& text);

}  // namespace pellmor
