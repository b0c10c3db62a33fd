#pragma once
// Tooltips of several lines, separated by CR LF.
#include <string>
#include <string_view>
#include <vector>

#include "ui/gui_toolkit.h"

// The parts between the delimiters, in order, empty ones included; a text without the
// delimiter is one part.
std::vector<std::string> splitString(std::string_view text, std::string_view delimiter);

// Like Nuklear's single-line tooltip, 30 units further right, one centred row per line.
// Nothing while a combobox, menu or other tooltip is open in the current window.
void showMultilineTooltip(nk_context* ctx, std::string_view text);
