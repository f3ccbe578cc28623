// Fuzz target: a commit message's bytes as Git hands them over, with the
// encoding the commit names. The first byte chooses the encoding (none, a
// few real ones, a bogus one); the rest is the message. Whatever the bytes,
// the text is well-formed UTF-8, not empty unless the bytes were, and a
// revision keeps it exactly (its comment, written as UTF-8, reads back the
// same).
#include <cstdint>
#include <string>

#include "convert/uConversionRun.h"
#include "foundation/Utf8.h"
#include "foundation/uMyStreamUtils.h"
#include "fuzz/FuzzCheck.h"
#include "git/uCommitMessage.h"

using namespace pellmor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const kEncodings[] = {nullptr,     "",       "ISO-8859-1",      "WINDOWS-1252",
                                           "SHIFT_JIS", "EUC-JP", "UTF-16",          "GB18030",
                                           "KOI8-R",    "UTF-8",  "no-such-encoding"};
  const char* encoding = kEncodings[data[0] % (sizeof kEncodings / sizeof kEncodings[0])];
  const std::string message(reinterpret_cast<const char*>(data + 1), size - 1);

  const std::string text = DecodeCommitMessage(message, encoding);
  FUZZ_CHECK(IsWellFormedUtf8(text));
  FUZZ_CHECK(message.empty() || !text.empty());

  const std::string comment = RevisionComment(text);
  TMemoryStream stored;
  WriteUtf8String(stored, comment);
  stored.SetPosition(0);
  FUZZ_CHECK(ReadUtf8String(stored) == comment);
  return 0;
}
