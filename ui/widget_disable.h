#pragma once
// The installed Nuklear (4.01.3) predates nk_widget_disable_begin/nk_widget_disable_end; this
// supplies them when the header lacks them. Widgets between the two calls are drawn greyed and
// do not react to input; pairs nest, only the outermost pair acts. Open and close a pair
// within the same window (or group) and frame.
#include "ui/gui_toolkit.h"

#ifndef QUARNMP_NUKLEAR_HAS_WIDGET_DISABLE
extern "C" {
void nk_widget_disable_begin(struct nk_context* ctx);
void nk_widget_disable_end(struct nk_context* ctx);
}
#endif
