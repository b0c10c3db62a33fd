#pragma once
// The program's message box on platforms without a native one: a modal dialog drawn with the
// program's own window, GUI and renderer. Caption as window title, the text's lines, an OK
// button; closed by OK, Enter, Escape or the window's close button. A question has Yes (also
// Enter) and No (also Escape and the close button).
#include <optional>
#include <string>

#include "platform/message_box.h"

// Makes the dialog the platform's message box. Call first thing on the main thread: the
// dialog only runs there (GLFW allows no other); elsewhere the box falls back to standard
// error.
void installMessageBoxDialog();

// Shows the dialog and returns when it is closed; false when no dialog could be shown (other
// thread, no display, no OpenGL). A window whose context is current stays current afterwards
// and gets no input while the dialog is open.
bool showMessageBoxDialog(const std::string& caption, const std::string& text, platform::MessageBoxIcon icon);

// The question's dialog: true for Yes; nothing when no dialog could be shown, as above.
std::optional<bool> askQuestionDialog(const std::string& caption, const std::string& text);
