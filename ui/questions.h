#pragma once
// Questions the window asks the player in a modal box; the application supplies the box.
#include <string>

// Asks the question and returns true for Yes.
using YesNoQuestion = bool (*)(const std::string& caption, const std::string& text);

// Without one, every question is answered No.
void setYesNoQuestion(YesNoQuestion question);
bool askPlayer(const std::string& caption, const std::string& text);
