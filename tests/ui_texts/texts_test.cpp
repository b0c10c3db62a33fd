#include "ui/texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    parts.push_back(text.substr(start, end - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

TEST(Texts, GermanOnlyForDeEnglishForEveryOtherLanguage) {
  EXPECT_STREQ(uiText(TextId::buttonFetch), "Abrufen") << "German before the settings are read";
  for (UiLanguageIndex = 0; UiLanguageIndex < languageCount; ++UiLanguageIndex) {
    EXPECT_STREQ(uiText(TextId::msgFilesDiffer),
                 UiLanguageIndex == 2 ? "Dateien unterschiedlich! Bitte updaten."
                                      : "You don't have to most current files! Please Update!");
  }
  UiLanguageIndex = 2;
}

TEST(Texts, ArePlainAsciiWithCrLfLineBreaks) {
  for (const TextRow& row : {textTable[2], textTable[3]}) {
    for (const char* text : row) {
      for (const std::string& line : lines(text)) {
        EXPECT_FALSE(line.empty()) << text;
        for (const char c : line) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << text;
      }
    }
  }
  const auto english = lines(textTable[3][static_cast<size_t>(TextId::tipNoDocuments)]);
  ASSERT_EQ(english.size(), 4u);
  EXPECT_TRUE(english[1].ends_with(' ') && english[3].starts_with(' '));
  EXPECT_EQ(lines(textTable[2][static_cast<size_t>(TextId::tipNoDocuments)]).size(), 5u);
}

}  // namespace
