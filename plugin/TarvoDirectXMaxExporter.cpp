#include "plugin/Exporter.h"
#include "ui/OptionsSheet.h"

TarvoDirectXMaxExporter* currentExporter = nullptr;

TarvoDirectXMaxExporter::~TarvoDirectXMaxExporter() {
    // An export that ended by an exception leaves the file open: nothing of it is saved.
    if (currentExporter == this) currentExporter = nullptr;
}

int TarvoDirectXMaxExporter::ExtCount() {
    return 1;
}

const MCHAR* TarvoDirectXMaxExporter::Ext(int n) {
    return n == 0 ? "X" : "";
}

const MCHAR* TarvoDirectXMaxExporter::LongDesc() {
    return LoadResString(IDS_LONG_DESC);
}
const MCHAR* TarvoDirectXMaxExporter::ShortDesc() {
    return LoadResString(IDS_SHORT_DESC);
}
const MCHAR* TarvoDirectXMaxExporter::AuthorName() {
    return LoadResString(IDS_AUTHOR);
}
const MCHAR* TarvoDirectXMaxExporter::CopyrightMessage() {
    return LoadResString(IDS_COPYRIGHT);
}
const MCHAR* TarvoDirectXMaxExporter::OtherMessage1() {
    return "";
}
const MCHAR* TarvoDirectXMaxExporter::OtherMessage2() {
    return "";
}
unsigned int TarvoDirectXMaxExporter::Version() {
    return kExporterVersion;
}

// Without a dialog library or a display the box cannot be shown, and the host has nothing
// to do about it.
void TarvoDirectXMaxExporter::ShowAbout(HWND hWnd) {
    (void)ShowAboutBox(hWnd);
}

BOOL TarvoDirectXMaxExporter::SupportsOptions(int ext, DWORD options) {
    return ext == 0 ? static_cast<BOOL>(options & SCENE_EXPORT_SELECTED) : FALSE;
}
