// The options property sheet.
#pragma once

#include "platform/win/WinTypes.h"

class TarvoDirectXMaxExporter;

// Shows the modal option pages over the parent window and returns the property-sheet
// result: 0 when closed without accepting, -1 when the sheet failed, else accepted.
// The dialogs land with their own change; until then the sheet accepts the options as
// they were loaded, as a run without prompts would.
INT_PTR OptionsSheet(TarvoDirectXMaxExporter& exporter, HWND parent);
