#pragma once
// MessageBoxA: a modal box without owner window and a single OK button, or Yes and No.
#include <optional>
#include <string>

namespace platform {

enum class MessageBoxIcon { None, Error };

// Shows the box and returns when the user has closed it. Where no box can be shown (no
// display or desktop), or with QUARNMP_MESSAGEBOX=stderr, it is written as "caption: text"
// to standard error and counts as confirmed.
void showMessageBox(const std::string& caption, const std::string& text, MessageBoxIcon icon);

// Where a real dialog needs the program's own window stack, the application installs it
// here (Windows has its own); it returns false when it cannot show a dialog.
using MessageBoxPresenter = bool (*)(const std::string& caption, const std::string& text,
                                     MessageBoxIcon icon);
void setMessageBoxPresenter(MessageBoxPresenter presenter);

// The same box with a question mark and the buttons Yes and No; true for Yes. Where no box can
// be shown it is written to standard error and counts as confirmed, as above.
bool askYesNo(const std::string& caption, const std::string& text);

// The question's dialog where the application draws it: the answer, or nothing when it cannot
// show a dialog.
using QuestionPresenter = std::optional<bool> (*)(const std::string& caption, const std::string& text);
void setQuestionPresenter(QuestionPresenter presenter);

}  // namespace platform
