// The options property sheet and the About box, as the exporter shows them.
#pragma once

#include "platform/win/WinTypes.h"

class TarvoDirectXMaxExporter;

// Shows the six option pages modally over the parent window; they edit exporter.options in
// place. Returns the property-sheet result: greater than 0 when the user pressed OK, 0
// when the sheet was cancelled, -1 when it cannot be shown (no dialog library, no display).
INT_PTR OptionsSheet(TarvoDirectXMaxExporter& exporter, HWND parent);

// Shows the About box modally over the parent window; its result, or -1 when it cannot be
// shown.
INT_PTR ShowAboutBox(HWND parent);
