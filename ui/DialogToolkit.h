// Finding the toolkit that draws the dialogs. The plug-in does not link one: it loads the
// dialog library that lies beside it the first time a dialog is shown, so that a run that
// shows none never loads a windowing toolkit, and the plug-in loads on machines without one.
#pragma once

#include <string>

#include "ui/DialogModel.h"

namespace tarvo::ui {

// The toolkit set with UseDialogToolkit, else the one of the dialog library (loaded on
// the first call); null when there is none. Why it is missing goes to the debug output.
const DialogToolkit* LoadDialogToolkit();

// For a program that links a toolkit itself (the dialog tests, the picture tool); null
// goes back to the library.
void UseDialogToolkit(const DialogToolkit* toolkit);

// Where the dialog library is looked for: "tarvo-dx/TarvoDirectXDialogs.so" in the folder
// of the module that holds this code.
std::string DialogLibraryPath();

}  // namespace tarvo::ui
