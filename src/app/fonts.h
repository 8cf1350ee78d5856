#pragma once

// The layout names Windows' GB2312 faces; map each once to an installed face of its style.
void installFontSubstitutions();
