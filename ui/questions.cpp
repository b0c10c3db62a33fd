#include "ui/questions.h"

namespace {
YesNoQuestion installedQuestion = nullptr;
}

void setYesNoQuestion(YesNoQuestion question) { installedQuestion = question; }

bool askPlayer(const std::string& caption, const std::string& text) {
  return installedQuestion != nullptr && installedQuestion(caption, text);
}
