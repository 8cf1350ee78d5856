#pragma once

class QWidget;

// Creates every control of the main window as a child of `window`, named, placed and styled
// as the layout table says, stacked and in focus order.
void buildControls(QWidget *window);

// The swatch index each Picture2 carries (they share one name).
inline constexpr const char *swatchIndexProperty = "index";
