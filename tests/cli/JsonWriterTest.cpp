// The JSON writer: its output parsed back by an independent parser (Qt's),
// and the escaping of every kind of byte the store's texts can hold.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <sstream>

#include "cli/JsonWriter.h"

namespace pellmor {
namespace {

QJsonDocument Parse(const std::string& text) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << " in\n"
                                                   << text;
  return document;
}

TEST(JsonWriterTest, NestedValuesParseBack) {
  std::ostringstream out;
  TJsonWriter json(out);
  json.BeginArray();
  json.BeginObject();
  json.StringMember("name", "a.txt");
  json.NumberMember("size", -12345678901234);
  json.BoolMember("yes", true);
  json.BoolMember("no", false);
  json.Key("none");
  json.Null();
  json.Key("empty array");
  json.BeginArray();
  json.EndArray();
  json.Key("empty object");
  json.BeginObject();
  json.EndObject();
  json.Key("list");
  json.BeginArray();
  json.Number(1);
  json.String("two");
  json.EndArray();
  json.EndObject();
  json.BeginObject();
  json.EndObject();
  json.EndArray();
  json.Finish();

  const QJsonArray array = Parse(out.str()).array();
  ASSERT_EQ(array.size(), 2);
  const QJsonObject first = array[0].toObject();
  EXPECT_EQ(first["name"].toString(), "a.txt");
  EXPECT_EQ(first["size"].toInteger(), -12345678901234);
  EXPECT_TRUE(first["yes"].toBool());
  EXPECT_FALSE(first["no"].toBool(true));
  EXPECT_TRUE(first["none"].isNull());
  EXPECT_TRUE(first["empty array"].toArray().isEmpty());
  EXPECT_TRUE(first["empty object"].toObject().isEmpty());
  EXPECT_EQ(first["list"].toArray()[0].toInt(), 1);
  EXPECT_EQ(first["list"].toArray()[1].toString(), "two");
  EXPECT_TRUE(array[1].toObject().isEmpty());
  EXPECT_EQ(out.str().back(), '\n');
}

TEST(JsonWriterTest, EveryByteOfATextSurvivesTheRoundTrip) {
  const struct {
    std::string bytes;
    QString text;  // what a JSON reader must get back
  } cases[] = {
      {"plain", "plain"},
      {"quote \" backslash \\ slash /", "quote \" backslash \\ slash /"},
      {"line\r\nend\ttab", "line\r\nend\ttab"},
      {std::string("nul\0 bell\a esc\x1b", 15), QString::fromLatin1("nul\0 bell\a esc\x1b", 15)},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", QString::fromUtf8("café € 😀")},
      // Not UTF-8: read as Windows-1252, never dropped or passed on raw.
      {"caf\xe9 \x80 \x81", QString::fromUtf8("café € \xc2\x81")},
      {"", ""},
  };
  for (const auto& c : cases) {
    const std::string quoted = JsonQuote(c.bytes);
    const QJsonDocument document = Parse("[" + quoted + "]");
    EXPECT_EQ(document.array()[0].toString(), c.text) << quoted;
  }
}

}  // namespace
}  // namespace pellmor
